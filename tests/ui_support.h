#pragma once

#include <QElapsedTimer>
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
  // How long a box stays open before it is closed, as by an operator who
  // takes their time.
  int delayMs = 0;
  // Called while a message box is open, before it is closed.
  std::function<void()> onBox;
  // Called with the active modal widget that is not a message box.
  std::function<void(QWidget*)> onOtherModal;

 private:
  QTimer timer_;
  QWidget* seen_ = nullptr;
  QElapsedTimer shownFor_;
};

}  // namespace vantrelix::testing
