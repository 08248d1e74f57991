#include "win32/window_colours.h"

namespace vantel3 {

bool HighContrastOn() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof(contrast);
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) != 0 &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

COLORREF ViewBackgroundColour() {
  return HighContrastOn() ? GetSysColor(COLOR_WINDOW) : RGB(255, 255, 255);
}

HBRUSH ViewBackgroundBrush() {
  return HighContrastOn() ? GetSysColorBrush(COLOR_WINDOW)
                          : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

COLORREF ViewTextColour() {
  return GetSysColor(COLOR_WINDOWTEXT);
}

}  // namespace vantel3
