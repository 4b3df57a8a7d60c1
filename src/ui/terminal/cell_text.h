// What the terminal is given to show, and how many columns it takes. The
// program's texts are bytes (names from drives and from the file system);
// in a UTF-8 locale those that are valid UTF-8 are shown as such, every
// other byte as one '?', and never a byte the terminal could take as a
// control sequence.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One character as the terminal shows it, with the combining marks that
// belong to it.
struct Glyph {
  std::size_t begin = 0;  // its bytes in the text: [begin, end)
  std::size_t end = 0;
  std::string shown;  // what is drawn: the character itself, '?' or a blank
  int columns = 1;    // 1, or 2 for a wide character
};

// The text's characters by the locale's character type (LC_CTYPE). In a
// UTF-8 locale: a printable character as it is; a tab as a blank; controls
// (C0, DEL, C1), invisible format and direction marks, characters without a
// width and every byte that is no part of valid UTF-8 as '?'; variation
// selectors dropped (terminals disagree on their width). In any other
// locale: printable ASCII as it is and every other byte as '?'.
std::vector<Glyph> Glyphs(const std::string& text);

// The glyphs' shown text, safe to hand to the terminal ("cell text").
std::string CellText(const std::string& text);
// Columns the cell text takes on the screen.
int Columns(const std::string& cells);
// The columns [skip, skip + width) of the cell text; a wide character cut
// at either edge becomes blanks, so the result never takes more than
// `width` columns.
std::string FitColumns(const std::string& cells, int skip, int width);

// Where the caret moves from byte `at` of `text` to the previous or the
// next character, so that it never stands inside one.
std::size_t PreviousGlyph(const std::string& text, std::size_t at);
std::size_t NextGlyph(const std::string& text, std::size_t at);
// Columns the characters before byte `at` take.
int ColumnsBefore(const std::string& text, std::size_t at);

// The text's lines as cell text, split at its line breaks; a line wider
// than `width` columns is wrapped at its last blank within the width, or
// cut there when it has none. Width below 1 counts as 1.
std::vector<std::string> WrapLines(const std::string& text, int width);
