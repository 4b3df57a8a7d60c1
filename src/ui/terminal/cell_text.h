// What the terminal is given to show: one cell per byte, never a byte the
// terminal could take as a control sequence.
#pragma once

#include <string>
#include <vector>

// Printable ASCII as it is; a tab as a blank; every other byte (controls,
// DEL, bytes of other character sets) as '?'. Names come from drives and
// from the file system, and an escape byte in them must not reach the
// terminal.
std::string CellText(const std::string& text);

// The text's lines, split at its line breaks; a line wider than `width`
// cells is wrapped at its last blank within the width, or cut there when it
// has none. Width below 1 counts as 1.
std::vector<std::string> WrapLines(const std::string& text, int width);
