#include "boxes.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "program.h"
#include "program_state.h"

namespace vantrelix {

namespace {

void ShowBox(const ProgramState& state, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QString::fromStdString(state.applicationTitle),
                  QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    box.move(area.center() - box.rect().center());
  }
  box.exec();
}

}  // namespace

void ShowMessageBox(const ProgramState& state, const std::string& text) {
  ShowBox(state, QMessageBox::NoIcon, text);
}

void ShowInformationBox(const ProgramState& state, const std::string& text) {
  ShowBox(state, QMessageBox::Information, text);
}

void ShowWarningBox(const ProgramState& state, const std::string& text) {
  ShowBox(state, QMessageBox::Warning, text);
}

void ShowErrorBox(const ProgramState& state, const std::string& message) {
  ShowBox(state, QMessageBox::Critical, ErrorBoxText(message));
}

bool RunHandler(ProgramState& state, const std::function<void()>& handler) {
  const std::optional<StepError> error = RunCatching(handler);
  if (!error) return true;
  state.Report(error->status);
  // A stop signal ends the program from the event loop; nothing to show.
  if (error->stopSignal == 0) ShowErrorBox(state, error->message);
  return false;
}

}  // namespace vantrelix
