#pragma once

namespace vantrelix {

// Whether windows can be shown: QT_QPA_PLATFORM names a platform, or a
// Wayland socket or an X display actually answers. Decided before the
// application object exists, since Qt aborts when it finds no display.
bool DisplayAvailable();

}  // namespace vantrelix
