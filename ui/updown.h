#pragma once

#include <QWidget>

#include "setup_record.h"

class QToolButton;

namespace vantrelix {

// A vertical up-down spinner without an edit box: two stacked arrows, the
// upper one raising the position by one step. It reports a change only when
// the operator really changed the position; setting it from code is silent.
class TUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TUpDown(QWidget* parent = nullptr);

  int Position() const { return position_; }
  // Clamped to Min..Max; emits nothing.
  void SetPosition(int position);
  int Min() const { return min_; }
  int Max() const { return max_; }

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 signals:
  void Click(int position);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Step(int delta);

  QToolButton* up_;
  QToolButton* down_;
  int min_ = 0;
  int max_ = kMaxColumn;
  int position_ = 0;
};

}  // namespace vantrelix
