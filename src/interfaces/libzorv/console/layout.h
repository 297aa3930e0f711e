#pragma once

namespace zorv::layout {

// What a control is; each toolkit picks its own widget or window class.
enum class Kind { kSingleLineText, kMultiLineText, kLabel, kButton };

// Where each control sits, in twips from the client area's top-left corner,
// its caption or creation text, and its place in the tab order. Labels take
// no focus; their index only keeps the numbering.
struct Placement {
  const char* name;
  Kind kind;
  const char* caption;
  int left, top, width, height;
  int tabIndex;
};

inline constexpr Placement kControls[] = {
    {"Text1", Kind::kSingleLineText, "Text1", 120, 120, 7815, 492, 3},
    {"Label2", Kind::kLabel, "Label2", 120, 720, 492, 252, 2},
    {"Command1", Kind::kButton, "Open", 120, 1080, 855, 375, 0},
    {"Command6", Kind::kButton, "Exec", 1080, 1080, 855, 372, 10},
    {"Command2", Kind::kButton, "Cursor", 2040, 1080, 855, 372, 5},
    {"Command3", Kind::kButton, "Fetch", 3000, 1080, 855, 372, 6},
    {"Command7", Kind::kButton, "Header", 3960, 1080, 855, 372, 11},
    {"Command4", Kind::kButton, "Close", 4920, 1080, 975, 372, 8},
    {"Command5", Kind::kButton, "MsgGet", 6000, 1080, 975, 372, 9},
    {"Commandx", Kind::kButton, "End", 7080, 1080, 975, 375, 1},
    {"text2", Kind::kMultiLineText, "", 120, 1800, 7815, 3852, 4},
    {"Label1", Kind::kLabel, "(C) 2026 The zorv console authors", 4800, 5880, 3255, 255, 7},
};
inline constexpr int kControlCount = sizeof(kControls) / sizeof(kControls[0]);

inline constexpr int kClientWidthTwips = 8115;
inline constexpr int kClientHeightTwips = 6195;

// Pixels for `twips` at `dpi` dots per inch, rounded half away from zero as
// MulDiv rounds: 15 twips to a pixel at 96.
constexpr int pixels(int twips, int dpi = 96) { return (twips * dpi + 720) / 1440; }

}  // namespace zorv::layout
