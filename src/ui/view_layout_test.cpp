#include "ui/view_layout.h"

#include <gtest/gtest.h>

#include <climits>

namespace vantel3 {
namespace {

void ExpectRect(const PixelRect& actual, int left, int top, int right, int bottom) {
  EXPECT_EQ(actual.left, left);
  EXPECT_EQ(actual.top, top);
  EXPECT_EQ(actual.right, right);
  EXPECT_EQ(actual.bottom, bottom);
}

TEST(DialogUnitsTest, BaseUnitsRoundTheAverageCharacterWidth) {
  struct Case {
    int alphabetWidth;
    int charHeight;
    int x;
    int y;
  };
  const Case cases[] = {
      {364, 16, 7, 16},  // 14.0 per letter
      {350, 16, 7, 16},  // 13.46 rounds up
      {337, 15, 6, 15},  // 12.96 ... 12 per 26 letters, then (12 + 1) / 2
      {546, 24, 11, 24},
  };
  for (const Case& c : cases) {
    const DialogBaseUnits units = DialogBaseUnitsFromMetrics(c.alphabetWidth, c.charHeight);
    EXPECT_EQ(units.x, c.x) << c.alphabetWidth;
    EXPECT_EQ(units.y, c.y) << c.alphabetWidth;
  }
}

TEST(DialogUnitsTest, ConversionRoundsHalvesUp) {
  const DialogBaseUnits at96{7, 16};
  EXPECT_EQ(DluToPixelsX(306, at96), 536);  // 535.5
  EXPECT_EQ(DluToPixelsX(7, at96), 12);     // 12.25
  EXPECT_EQ(DluToPixelsY(7, at96), 14);
  EXPECT_EQ(DluToPixelsX(0, at96), 0);
  const DialogBaseUnits at144{11, 24};
  EXPECT_EQ(DluToPixelsX(58, at144), 160);  // 159.5
  EXPECT_EQ(DluToPixelsY(61, at144), 183);
  ExpectRect(DluRectToPixels(7, 7, 306, 186, at96), 12, 14, 548, 386);
}

TEST(FontTest, PixelHeightFollowsTheScreenDensity) {
  struct Case {
    int points;
    int dpi;
    int pixels;
  };
  const Case cases[] = {
      {18, 96, 24}, {17, 96, 23}, {18, 144, 36}, {17, 144, 34}, {17, 120, 28}, {9, 96, 12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FontPixelHeight(c.points, c.dpi), c.pixels) << c.points << " pt at " << c.dpi;
  }
  EXPECT_EQ(ViewFontPoints(ViewId::kMain), 17);
  for (ViewId view : {ViewId::kRestore, ViewId::kUpdate, ViewId::kCheck, ViewId::kEnd}) {
    EXPECT_EQ(ViewFontPoints(view), 18);
  }
}

// The five views in the view frame at 96 and 144 DPI, with the dialog font's units as
// measured at each density.
TEST(ViewLayoutTest, EveryViewAt96And144Dpi) {
  struct Case {
    int dpi;
    DialogBaseUnits units;
    ViewId view;
    PixelRect label;
    PixelRect second;
  };
  const DialogBaseUnits u96{7, 16};
  const DialogBaseUnits u144{11, 24};
  const Case cases[] = {
      {96, u96, ViewId::kMain, {0, 125, 536, 247}, {}},
      {96, u96, ViewId::kRestore, {0, 111, 536, 225}, {0, 225, 536, 261}},
      {96, u96, ViewId::kUpdate, {0, 111, 536, 225}, {0, 225, 536, 261}},
      {96, u96, ViewId::kCheck, {0, 145, 536, 227}, {}},
      {96, u96, ViewId::kEnd, {0, 104, 536, 268}, {217, 322, 319, 372}},
      {144, u144, ViewId::kMain, {0, 187, 842, 370}, {}},
      {144, u144, ViewId::kRestore, {0, 166, 842, 337}, {0, 337, 842, 391}},
      {144, u144, ViewId::kUpdate, {0, 166, 842, 337}, {0, 337, 842, 391}},
      {144, u144, ViewId::kCheck, {0, 217, 842, 340}, {}},
      {144, u144, ViewId::kEnd, {0, 156, 842, 402}, {341, 483, 501, 558}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " DPI, view " << static_cast<int>(c.view));
    const int vw = DluToPixelsX(kViewFrameDlu.width, c.units);
    const int vh = DluToPixelsY(kViewFrameDlu.height, c.units);
    const ViewLayout layout = LayoutView(c.view, vw, vh, c.units);
    ExpectRect(layout.label, c.label.left, c.label.top, c.label.right, c.label.bottom);
    ExpectRect(layout.second, c.second.left, c.second.top, c.second.right, c.second.bottom);
  }
  // The window around them: 320 x 200 dialog units.
  EXPECT_EQ(DluToPixelsX(kMainDialogClientDlu.width, u96), 560);
  EXPECT_EQ(DluToPixelsY(kMainDialogClientDlu.height, u96), 400);
  EXPECT_EQ(DluToPixelsX(kMainDialogClientDlu.width, u144), 880);
  EXPECT_EQ(DluToPixelsY(kMainDialogClientDlu.height, u144), 600);
}

TEST(ViewLayoutTest, ControlsLargerThanTheViewShrinkToIt) {
  ExpectRect(CentredRect(100, 50, 200, 80), 0, 0, 100, 50);
  ExpectRect(BottomCentredRect(100, 50, 60, 80), 20, 0, 80, 50);
  ExpectRect(BottomCentredRect(100, 50, 61, 20), 19, 30, 80, 50);
}

TEST(ViewLayoutTest, LabelAndBarInAShortView) {
  // Lower than the label: each gets half the height, the pair fills the view.
  LabelAndBar block = LayoutLabelAndBar(500, 100, 536, 114, 536, 36);
  ExpectRect(block.label, 0, 0, 500, 50);
  ExpectRect(block.bar, 0, 50, 500, 100);
  // Each fits, the two together do not: the block overflows 10 pixels at either end.
  block = LayoutLabelAndBar(536, 130, 536, 114, 536, 36);
  ExpectRect(block.label, 0, -10, 536, 104);
  ExpectRect(block.bar, 0, 104, 536, 140);
  // Narrower controls are centred across, the bar directly below the label.
  block = LayoutLabelAndBar(600, 400, 500, 100, 300, 20);
  ExpectRect(block.label, 50, 140, 550, 240);
  ExpectRect(block.bar, 150, 240, 450, 260);
}

TEST(ViewLayoutTest, ALabelGrowsDownForTextThatNeedsMoreLines) {
  const PixelRect label{0, 111, 536, 225};
  const PixelRect bar{0, 225, 536, 261};
  // Text that fits leaves both where they were laid out.
  ExpectRect(FitLabelToText(label, 70), 0, 111, 536, 225);
  ExpectRect(BarBelowLabel(bar, FitLabelToText(label, 114)), 0, 225, 536, 261);
  // Three lines of a face with a wide line spacing: the label grows, the bar moves below it.
  const PixelRect grown = FitLabelToText(label, 126);
  ExpectRect(grown, 0, 111, 536, 237);
  ExpectRect(BarBelowLabel(bar, grown), 0, 237, 536, 273);
}

TEST(ProgressTest, OutOfRangeValuesShowTheNearestEnd) {
  const int cases[][2] = {{INT_MIN, 0}, {-1, 0},    {0, 0},     {43, 43},
                          {100, 100},   {101, 100}, {255, 100}, {INT_MAX, 100}};
  for (const auto& c : cases) EXPECT_EQ(ClampProgress(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace vantel3
