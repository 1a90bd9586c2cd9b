#pragma once

#include <string>

namespace vantrelix {

// Chooses the window system before the application object exists (Qt aborts
// when its platform cannot open a display) and gives false when there is
// none, so that the program runs in console mode instead:
// - QT_QPA_PLATFORM set: its first entry that can work here (xcb needs an X
//   server that accepts us, wayland a compositor and the plugin; other
//   platforms such as offscreen need nothing);
// - otherwise X11 whenever an X server accepts us (XWayland included: the
//   windows' places and raising the running copy rely on it), else Wayland.
// The choice is put into QT_QPA_PLATFORM for Qt to use, with a fallback that
// needs no display, so that a display that goes away before Qt connects to
// it does not abort the program.
bool ChooseWindowSystem();

// The window system chosen, by this process or by the one that started it
// ("xcb", "wayland", "offscreen", ...); empty when none was.
std::string ChosenWindowSystem();

}  // namespace vantrelix
