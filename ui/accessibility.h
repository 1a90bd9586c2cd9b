#pragma once

namespace vantrelix {

// What a screen reader is told of the program's own widgets: the main window
// is a window, and in the field selector a
// spinner is a spin box with its value, a preview list a list whose visible
// rows are its items, each with its text and, for a row the pass leaves as it
// came or reads with doubt, why. Installed once; later calls do nothing.
void InstallAccessibility();

}  // namespace vantrelix
