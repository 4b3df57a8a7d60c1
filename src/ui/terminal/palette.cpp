#include "ui/terminal/palette.h"

namespace {

enum Pair : short { kTitle = 1, kBar, kField, kPlain, kWarning, kError, kConfirm };

}  // namespace

Palette MakePalette() {
  Palette p;
  if (!has_colors() || start_color() == ERR || COLOR_PAIRS <= kConfirm) return p;
  use_default_colors();  // keep the terminal's own background where it can
  init_pair(kTitle, COLOR_WHITE, COLOR_BLUE);
  init_pair(kBar, COLOR_WHITE, COLOR_BLUE);
  init_pair(kField, COLOR_BLACK, COLOR_CYAN);
  init_pair(kPlain, COLOR_BLACK, COLOR_WHITE);
  init_pair(kWarning, COLOR_BLACK, COLOR_YELLOW);
  init_pair(kError, COLOR_WHITE, COLOR_RED);
  init_pair(kConfirm, COLOR_WHITE, COLOR_BLUE);
  p.title = COLOR_PAIR(kTitle) | A_BOLD;
  p.bar = COLOR_PAIR(kBar) | A_BOLD;
  p.field = COLOR_PAIR(kField);
  p.box[static_cast<int>(BoxKind::Plain)] = COLOR_PAIR(kPlain);
  p.box[static_cast<int>(BoxKind::Warning)] = COLOR_PAIR(kWarning);
  p.box[static_cast<int>(BoxKind::Error)] = COLOR_PAIR(kError) | A_BOLD;
  p.box[static_cast<int>(BoxKind::Confirm)] = COLOR_PAIR(kConfirm) | A_BOLD;
  return p;
}
