#include "ui_support.h"

#include <QAbstractButton>
#include <QApplication>

namespace vantrelix::testing {

BoxCloser::BoxCloser() {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box != seen_) {
        seen_ = box;
        shownFor_.start();
      }
      if (shownFor_.elapsed() < delayMs) return;
      seen_ = nullptr;
      if (onBox) onBox();
      boxes.push_back({box->text(), box->icon(), box->windowTitle()});
      box->button(QMessageBox::Ok)->click();
    } else if (onOtherModal) {
      onOtherModal(modal);
    }
  });
  timer_.start();
}

}  // namespace vantrelix::testing
