#include "updown.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>

#include <algorithm>

namespace vantrelix {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  up_->setObjectName("up");
  down_->setObjectName("down");
  up_->setAccessibleName("Next column");
  down_->setAccessibleName("Previous column");
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
  }
  setFocusPolicy(Qt::StrongFocus);
  connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  TellValue();
}

void TUpDown::SetByOperator(int position) {
  const int next = std::clamp(position, min_, max_);
  if (next == position_) return;
  position_ = next;
  TellValue();
  emit Click(position_);
}

void TUpDown::Step(int delta) {
  SetByOperator(position_ + delta);  // no wrapping at the ends
}

void TUpDown::TellValue() {
  QAccessibleValueChangeEvent event(this, position_);
  QAccessible::updateAccessibility(&event);
}

void TUpDown::resizeEvent(QResizeEvent*) {
  // Focused, the arrows leave a frame's room around them.
  const int inset = hasFocus() ? 2 : 0;
  const QRect area = rect().adjusted(inset, inset, -inset, -inset);
  const int half = area.height() / 2;
  up_->setGeometry(area.x(), area.y(), area.width(), half);
  down_->setGeometry(area.x(), area.y() + half, area.width(), area.height() - half);
}

void TUpDown::paintEvent(QPaintEvent*) {
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect frame;
  frame.initFrom(this);
  frame.rect = rect();
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

void TUpDown::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  typed_.clear();
  resizeEvent(nullptr);
  update();
}

void TUpDown::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  resizeEvent(nullptr);
  update();
}

void TUpDown::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (text.size() == 1 && text[0].isDigit() && text[0].unicode() < 128) {
    // Digits typed in a row make one column ("1", "2": 12); a pause starts
    // a new number.
    if (!sinceTyped_.isValid() || sinceTyped_.elapsed() > kTypingPauseMs) typed_.clear();
    sinceTyped_.start();
    typed_ += text;
    if (typed_.toInt() > max_) typed_ = text;
    SetByOperator(typed_.toInt());
    return;
  }
  typed_.clear();
  switch (event->key()) {
    case Qt::Key_Up:
      Step(+1);
      break;
    case Qt::Key_Down:
      Step(-1);
      break;
    case Qt::Key_PageUp:
      Step(+10);
      break;
    case Qt::Key_PageDown:
      Step(-10);
      break;
    case Qt::Key_Home:
      SetByOperator(min_);
      break;
    case Qt::Key_End:
      SetByOperator(max_);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace vantrelix
