// The field selector on the screen it opens on: the design in a scroll area,
// the window no larger than the screen and placed where the design puts it.
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "tform2.h"

namespace vantrelix {

void TForm2::PutIntoScrollArea() {
  // The design in a scroll area: on a screen smaller than the design every
  // control can still be reached; where it fits, nothing moves.
  // Moved within this window, the controls keep the design's keyboard order.
  content_ = new QWidget(this);
  content_->setObjectName("Form2Content");
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (w != content_ && !w->isWindow()) w->setParent(content_);
  }
  content_->setFixedSize(size());
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setObjectName("Form2Scroll");
  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setWidget(content_);
  // The window's yellow shows through.
  content_->setAutoFillBackground(false);
  scrollArea_->viewport()->setAutoFillBackground(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scrollArea_);
}

void TForm2::FitScreen(const QRect& available) {
  // Before the window is first shown its frame is not known: the design's.
  QSize frame = frameGeometry().size() - size();
  if (frame.isEmpty()) frame = kDesignFrame;
  resize(content_->size().boundedTo(available.size() - frame));
  const QSize outer = size() + frame;
  move(
      std::max(available.left(), std::min(kDesignPlace.x(), available.right() + 1 - outer.width())),
      std::max(available.top(),
               std::min(kDesignPlace.y(), available.bottom() + 1 - outer.height())));
}

}  // namespace vantrelix
