#include "preview_list.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolTip>

#include <algorithm>

#include "preview_model.h"

namespace vantrelix {

PreviewList::PreviewList(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
}

void PreviewList::setModel(QAbstractItemModel* model) {
  if (model_ != nullptr) disconnect(model_, nullptr, this, nullptr);
  model_ = model;
  current_ = -1;
  if (model_ != nullptr) {
    const auto reset = [this] {
      if (current_ >= Rows()) current_ = -1;
      UpdateScrollRange();
      viewport()->update();
    };
    connect(model_, &QAbstractItemModel::modelReset, this, reset);
    connect(model_, &QAbstractItemModel::rowsInserted, this, reset);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, reset);
    connect(model_, &QAbstractItemModel::layoutChanged, this, reset);
    connect(model_, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
  }
  UpdateScrollRange();
  viewport()->update();
}

int PreviewList::Rows() const {
  return model_ != nullptr ? model_->rowCount() : 0;
}

int PreviewList::WholeRowsShown() const {
  return std::max(1, viewport()->height() / kRowHeight);
}

void PreviewList::UpdateScrollRange() {
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(WholeRowsShown());
  bar->setRange(0, std::max(0, Rows() - WholeRowsShown()));
}

int PreviewList::RowAt(int y) const {
  if (y < 0) return -1;
  const int row = verticalScrollBar()->value() + y / kRowHeight;
  return row < Rows() ? row : -1;
}

void PreviewList::paintEvent(QPaintEvent*) {
  if (model_ == nullptr) return;
  QPainter painter(viewport());
  const QRect area = viewport()->rect();
  const QFontMetrics metrics = fontMetrics();
  const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
  const int rows = Rows();
  for (int row = verticalScrollBar()->value(), y = 0; row < rows && y < area.height();
       ++row, y += kRowHeight) {
    const QModelIndex index = model_->index(row, 0);
    const QRect rect(0, y, area.width(), kRowHeight);
    QColor ink = palette().color(group, QPalette::Text);
    if (row == current_) {
      painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
      ink = palette().color(group, QPalette::HighlightedText);
    } else if (const QVariant background = model_->data(index, Qt::BackgroundRole);
               background.canConvert<QBrush>()) {
      painter.fillRect(rect, background.value<QBrush>());
    }
    const QRect textRect = rect.adjusted(2, 0, -2, 0);
    painter.setPen(ink);
    // The mark of an unread or doubtful row leads its text, in bold.
    const QString mark = model_->data(index, PreviewColumnModel::kMarkRole).toString();
    int markWidth = 0;
    if (!mark.isEmpty()) {
      QFont bold = font();
      bold.setBold(true);
      painter.setFont(bold);
      painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, mark);
      markWidth = QFontMetrics(bold).horizontalAdvance(mark + ' ');
      painter.setFont(font());
    }
    const QRect rest = textRect.adjusted(markWidth, 0, 0, 0);
    painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(model_->data(index, Qt::DisplayRole).toString(),
                                        Qt::ElideRight, rest.width()));
  }
  // Where the keys act, also when no row is current.
  if (hasFocus()) {
    QStyleOptionFocusRect frame;
    frame.initFrom(viewport());
    frame.rect = viewport()->rect().adjusted(0, 0, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, viewport());
  }
}

void PreviewList::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}

void PreviewList::scrollContentsBy(int, int) {
  viewport()->update();
}

void PreviewList::MakeCurrent(int row) {
  const int rows = Rows();
  if (rows == 0) return;
  current_ = std::clamp(row, 0, rows - 1);
  QScrollBar* bar = verticalScrollBar();
  if (current_ < bar->value()) bar->setValue(current_);
  if (current_ >= bar->value() + WholeRowsShown()) bar->setValue(current_ - WholeRowsShown() + 1);
  viewport()->update();
}

void PreviewList::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();  // the focus frame goes
}

void PreviewList::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
  // Reached by Tab, the list shows where the keys will move from.
  if (current_ < 0 &&
      (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)) {
    MakeCurrent(verticalScrollBar()->value());
  }
}

void PreviewList::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    if (model_ != nullptr && current_ >= 0) {
      QGuiApplication::clipboard()->setText(
          model_->data(model_->index(current_, 0), Qt::DisplayRole).toString());
    }
    return;
  }
  const int from = current_ >= 0 ? current_ : verticalScrollBar()->value();
  const int page = WholeRowsShown();
  switch (event->key()) {
    case Qt::Key_Up:
      MakeCurrent(current_ >= 0 ? from - 1 : from);
      break;
    case Qt::Key_Down:
      MakeCurrent(current_ >= 0 ? from + 1 : from);
      break;
    case Qt::Key_PageUp:
      MakeCurrent(from - page);
      break;
    case Qt::Key_PageDown:
      MakeCurrent(from + page);
      break;
    case Qt::Key_Home:
      MakeCurrent(0);
      break;
    case Qt::Key_End:
      MakeCurrent(Rows() - 1);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
  }
}

void PreviewList::mousePressEvent(QMouseEvent* event) {
  const int row = RowAt(event->position().toPoint().y());
  if (row >= 0) MakeCurrent(row);
  QAbstractScrollArea::mousePressEvent(event);
}

bool PreviewList::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip || model_ == nullptr) {
    return QAbstractScrollArea::viewportEvent(event);
  }
  const auto* help = static_cast<QHelpEvent*>(event);
  const int row = RowAt(help->pos().y());
  QString tip;
  if (row >= 0) {
    const QModelIndex index = model_->index(row, 0);
    tip = model_->data(index, Qt::ToolTipRole).toString();
    const QString text = model_->data(index, Qt::DisplayRole).toString();
    // A text cut to the box's width is shown whole.
    if (tip.isEmpty() && fontMetrics().horizontalAdvance(text) > viewport()->width() - 4)
      tip = text;
  }
  if (tip.isEmpty()) {
    QToolTip::hideText();
  } else {
    const QRect rect(0, (row - verticalScrollBar()->value()) * kRowHeight, viewport()->width(),
                     kRowHeight);
    QToolTip::showText(help->globalPos(), tip, viewport(), rect);
  }
  return true;
}

}  // namespace vantrelix
