// Window geometry of the updater: dialog units measured from the dialog font, the fonts of the
// step views, and where each view's controls go. Plain arithmetic, no toolkit, so that the
// numbers can be checked for any screen density.
#pragma once

#include "workflow/step_ui.h"

namespace vantel3 {

// The pixel size of the dialog font: `x` is its average character width, `y` its character
// height. A horizontal dialog unit is x / 4 pixels, a vertical one y / 8.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};

// The average character width is taken, as desktop dialogs always have, from the width of the
// 52 letters "A".."Z" "a".."z": (alphabetWidth / 26 + 1) / 2, so that it rounds to the nearest
// pixel. `charHeight` is the font's line height (ascent + descent).
[[nodiscard]] DialogBaseUnits DialogBaseUnitsFromMetrics(int alphabetWidth, int charHeight);

// Dialog units to pixels, rounded to the nearest pixel (halves away from zero).
[[nodiscard]] int DluToPixelsX(int dlu, const DialogBaseUnits& units);
[[nodiscard]] int DluToPixelsY(int dlu, const DialogBaseUnits& units);

// A rectangle given in dialog units (x, y, width, height) in pixels.
[[nodiscard]] PixelRect DluRectToPixels(int x, int y, int width, int height,
                                        const DialogBaseUnits& units);

// Em height in pixels of a font of `points` on a screen of `dpi`: points × dpi / 72, rounded
// to the nearest pixel (24 for 18 pt and 23 for 17 pt at 96 DPI).
[[nodiscard]] int FontPixelHeight(int points, int dpi);

// Point size of a view's message font: 17 in the main view, 18 in the others.
[[nodiscard]] int ViewFontPoints(ViewId view);

// The bar position that a progress value shows: values above 100 fill the bar, values below 0
// empty it.
[[nodiscard]] int ClampProgress(int percent);

// Sizes of the windows and controls, in dialog units.
struct DluSize {
  int width = 0;
  int height = 0;
};
struct DluRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

inline constexpr DluSize kMainDialogClientDlu{320, 200};
// Where the five views sit in the main window's client area.
inline constexpr DluRect kViewFrameDlu{7, 7, 306, 186};

// The About box and its controls.
inline constexpr DluSize kAboutDialogDlu{170, 62};
inline constexpr DluRect kAboutIconDlu{14, 14, 21, 20};
inline constexpr DluRect kAboutTextDlu{42, 14, 114, 8};
inline constexpr DluRect kAboutOkButtonDlu{113, 41, 50, 14};

// The own sizes of a view's controls (their positions are computed by LayoutView).
struct ViewControlSizes {
  DluSize label;
  // The Next button, the progress bar or the end button; zero size when the view has none.
  DluSize second;
};
[[nodiscard]] ViewControlSizes ViewControlSizesDlu(ViewId view);

// The control rectangles of a view, in pixels relative to the view's client area.
struct ViewLayout {
  PixelRect label;
  // The progress bar of the update and restore views, the end button of the end view. The
  // main view's Next button is placed by the update run before it is shown, and is left
  // empty here.
  PixelRect second;
};

// A control of size w0 × h0 centred in a view of vw × vh, shrunk to the view when larger.
[[nodiscard]] PixelRect CentredRect(int vw, int vh, int w0, int h0);
// Centred across and flush with the bottom edge, shrunk to the view when larger.
[[nodiscard]] PixelRect BottomCentredRect(int vw, int vh, int w0, int h0);

// The label and the progress bar as one block, the bar directly below the label, the pair
// centred vertically. When the view is lower than either control, each gets half the view's
// height. A block taller than the view overflows equally at the top and at the bottom.
struct LabelAndBar {
  PixelRect label;
  PixelRect bar;
};
[[nodiscard]] LabelAndBar LayoutLabelAndBar(int vw, int vh, int labelW0, int labelH0, int barW0,
                                            int barH0);

// The layout of `view` in a view of vw × vh pixels, with the controls' own sizes converted
// by `units`.
[[nodiscard]] ViewLayout LayoutView(ViewId view, int vw, int vh, const DialogBaseUnits& units);

// The message label once its text is known: the laid-out rectangle, made taller (downwards)
// when the text needs more lines than it holds, so that no line is cut off. A face standing in
// for the message font may have a larger line spacing than the one the sizes were made for.
[[nodiscard]] PixelRect FitLabelToText(const PixelRect& laidOut, int textHeight);

// The progress bar at its laid-out place, moved down when the label above it has grown, so
// that it stays directly below the label instead of covering its last line.
[[nodiscard]] PixelRect BarBelowLabel(const PixelRect& laidOutBar, const PixelRect& label);

}  // namespace vantel3
