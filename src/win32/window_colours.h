// The colours of the views and the main window: white, as the program's look asks, except
// under a high-contrast theme, whose own window colours the user chose to be able to read.
#pragma once

#include <windows.h>

namespace vantel3 {

[[nodiscard]] bool HighContrastOn();
// White, or the theme's window colour under high contrast.
[[nodiscard]] COLORREF ViewBackgroundColour();
[[nodiscard]] HBRUSH ViewBackgroundBrush();
// The system's window-text colour.
[[nodiscard]] COLORREF ViewTextColour();

}  // namespace vantel3
