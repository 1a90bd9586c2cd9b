#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace vantrelix::testing {

// Closes every message box that becomes the active modal widget, recording
// its text and icon. It polls, since a single timer could fire before the
// box is shown.
class BoxCloser : public QObject {
 public:
  struct Box {
    QString text;
    QMessageBox::Icon icon;
    QString title;
  };

  BoxCloser();
  std::vector<Box> boxes;
  // Called with the active modal widget that is not a message box.
  std::function<void(QWidget*)> onOtherModal;

 private:
  QTimer timer_;
};

}  // namespace vantrelix::testing
