#pragma once

#include <QElapsedTimer>
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
  // As the operator sets it (typed, or by a screen reader): clamped, and
  // reported by Click when it changed.
  void SetByOperator(int position);
  int Min() const { return min_; }
  int Max() const { return max_; }

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 signals:
  void Click(int position);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Up and Down step by one, Page Up and Page Down by ten, Home and End go
  // to the ends; digits set the column they make.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  static constexpr int kTypingPauseMs = 1000;
  void Step(int delta);
  void TellValue();

  QToolButton* up_;
  QToolButton* down_;
  int min_ = 0;
  int max_ = kMaxColumn;
  int position_ = 0;
  QString typed_;  // the digits typed so far
  QElapsedTimer sinceTyped_;
};

}  // namespace vantrelix
