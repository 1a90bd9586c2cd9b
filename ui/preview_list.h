#pragma once

#include <QAbstractScrollArea>

class QAbstractItemModel;

namespace vantrelix {

// A preview column's list box. It draws only the rows on screen and keeps
// nothing per row, so that a million-line preview costs no more than a short
// one (a QListView lays out and remembers every row). The scroll bar counts
// rows; long texts are cut with "…" and shown whole in their tooltip.
class PreviewList : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit PreviewList(QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model);
  QAbstractItemModel* model() const { return model_; }
  // The row the operator picked by click or key; -1: none.
  int CurrentRow() const { return current_; }
  int RowHeight() const { return kRowHeight; }
  // The row drawn at `y` of the viewport; -1: none.
  int RowAt(int y) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Arrows, pages, Home and End move the current row; Ctrl+C copies it.
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  // The design's row height.
  static constexpr int kRowHeight = 13;
  int Rows() const;
  int WholeRowsShown() const;
  void UpdateScrollRange();
  void MakeCurrent(int row);

  QAbstractItemModel* model_ = nullptr;
  int current_ = -1;
};

}  // namespace vantrelix
