#include "ui/view_layout.h"

#include <algorithm>

namespace vantel3 {

namespace {

// a × b / c rounded to the nearest integer, halves away from zero.
int MulDivRound(int a, int b, int c) {
  if (c == 0) return 0;
  const long long product = static_cast<long long>(a) * b;
  const long long half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const long long magnitude = ((product < 0 ? -product : product) + half) / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace

DialogBaseUnits DialogBaseUnitsFromMetrics(int alphabetWidth, int charHeight) {
  return DialogBaseUnits{(alphabetWidth / 26 + 1) / 2, charHeight};
}

int DluToPixelsX(int dlu, const DialogBaseUnits& units) {
  return MulDivRound(dlu, units.x, 4);
}

int DluToPixelsY(int dlu, const DialogBaseUnits& units) {
  return MulDivRound(dlu, units.y, 8);
}

PixelRect DluRectToPixels(int x, int y, int width, int height, const DialogBaseUnits& units) {
  const int left = DluToPixelsX(x, units);
  const int top = DluToPixelsY(y, units);
  return PixelRect{left, top, left + DluToPixelsX(width, units), top + DluToPixelsY(height, units)};
}

int FontPixelHeight(int points, int dpi) {
  return MulDivRound(points, dpi, 72);
}

int ViewFontPoints(ViewId view) {
  return view == ViewId::kMain ? 17 : 18;
}

int ClampProgress(int percent) {
  return std::clamp(percent, 0, 100);
}

ViewControlSizes ViewControlSizesDlu(ViewId view) {
  switch (view) {
    case ViewId::kMain:
      return {{306, 61}, {62, 20}};
    case ViewId::kRestore:
      return {{306, 57}, {306, 18}};
    case ViewId::kUpdate:
      return {{306, 57}, {306, 18}};
    case ViewId::kCheck:
      return {{306, 41}, {0, 0}};
    case ViewId::kEnd:
      return {{306, 82}, {58, 25}};
  }
  return {};
}

PixelRect CentredRect(int vw, int vh, int w0, int h0) {
  const int w = std::min(vw, w0);
  const int h = std::min(vh, h0);
  const int x = (vw - w) / 2;
  const int y = (vh - h) / 2;
  return PixelRect{x, y, x + w, y + h};
}

PixelRect BottomCentredRect(int vw, int vh, int w0, int h0) {
  const int w = std::min(vw, w0);
  const int h = std::min(vh, h0);
  const int x = (vw - w) / 2;
  const int y = vh - h;
  return PixelRect{x, y, x + w, y + h};
}

LabelAndBar LayoutLabelAndBar(int vw, int vh, int labelW0, int labelH0, int barW0, int barH0) {
  const int labelW = std::min(vw, labelW0);
  const int barW = std::min(vw, barW0);
  int labelH = labelH0;
  int barH = barH0;
  if (vh < labelH0 || vh < barH0) {
    labelH = vh / 2;
    barH = vh / 2;
  }
  const int labelX = (vw - labelW) / 2;
  const int labelY = (vh - labelH - barH) / 2;
  const int barX = (vw - barW) / 2;
  const int barY = labelY + labelH;
  return LabelAndBar{PixelRect{labelX, labelY, labelX + labelW, labelY + labelH},
                     PixelRect{barX, barY, barX + barW, barY + barH}};
}

ViewLayout LayoutView(ViewId view, int vw, int vh, const DialogBaseUnits& units) {
  const ViewControlSizes sizes = ViewControlSizesDlu(view);
  const int labelW0 = DluToPixelsX(sizes.label.width, units);
  const int labelH0 = DluToPixelsY(sizes.label.height, units);
  const int secondW0 = DluToPixelsX(sizes.second.width, units);
  const int secondH0 = DluToPixelsY(sizes.second.height, units);
  ViewLayout layout;
  switch (view) {
    case ViewId::kRestore:
    case ViewId::kUpdate: {
      const LabelAndBar block = LayoutLabelAndBar(vw, vh, labelW0, labelH0, secondW0, secondH0);
      layout.label = block.label;
      layout.second = block.bar;
      break;
    }
    case ViewId::kEnd:
      layout.label = CentredRect(vw, vh, labelW0, labelH0);
      layout.second = BottomCentredRect(vw, vh, secondW0, secondH0);
      break;
    case ViewId::kMain:
    case ViewId::kCheck:
      layout.label = CentredRect(vw, vh, labelW0, labelH0);
      break;
  }
  return layout;
}

PixelRect FitLabelToText(const PixelRect& laidOut, int textHeight) {
  PixelRect rect = laidOut;
  if (textHeight > laidOut.height()) rect.bottom = laidOut.top + textHeight;
  return rect;
}

PixelRect BarBelowLabel(const PixelRect& laidOutBar, const PixelRect& label) {
  PixelRect rect = laidOutBar;
  if (label.bottom > laidOutBar.top) {
    rect.top = label.bottom;
    rect.bottom = label.bottom + laidOutBar.height();
  }
  return rect;
}

}  // namespace vantel3
