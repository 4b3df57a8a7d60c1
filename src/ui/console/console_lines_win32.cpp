#include "ui/console/console_lines.h"

// The console front-end reads a script only here: a window shows the boxes.
void StdioLines::DiscardTypeAhead() {}
