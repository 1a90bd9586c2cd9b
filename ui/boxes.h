#pragma once

#include <functional>
#include <string>

class QWidget;

namespace vantrelix {

struct ProgramState;

// A modal box centred on the screen, no icon, one OK button.
void ShowMessageBox(const ProgramState& state, const std::string& text);
// The same with an information icon.
void ShowInformationBox(const ProgramState& state, const std::string& text);
// The same with a warning icon.
void ShowWarningBox(const ProgramState& state, const std::string& text);
// The same with an error icon, for errors that escape a handler.
void ShowErrorBox(const ProgramState& state, const std::string& message);

// Runs an event handler; an error that escapes it is shown in the error box
// and the program goes on (Qt lets no exception pass its event loop).
// Gives false when the handler ended with an error.
bool RunHandler(ProgramState& state, const std::function<void()>& handler);

}  // namespace vantrelix
