#include "ui/terminal/cell_text.h"

#include <langinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr char32_t kTab = U'\t';
constexpr char32_t kDel = 0x7f;
constexpr char32_t kFirstPrintable = 0x20;
constexpr char32_t kFirstAfterC1 = 0xa0;
// Curses keeps a base character and at most four marks in one cell.
constexpr std::size_t kMaxMarks = 4;

struct Range {
  char32_t first;
  char32_t last;
};

// Invisible format and direction characters (Unicode's Cf and the line
// and paragraph separators): a terminal may act on them or draw nothing, so
// a name could hide or reorder its text. Shown as '?'.
constexpr Range kFormatCharacters[] = {
    {0x061c, 0x061c},   {0x180e, 0x180e},   {0x200b, 0x200f},   {0x2028, 0x202e},
    {0x2060, 0x2064},   {0x2066, 0x206f},   {0xfeff, 0xfeff},   {0xfff9, 0xfffb},
    {0x110bd, 0x110bd}, {0x1d173, 0x1d17a}, {0xe0001, 0xe0001}, {0xe0020, 0xe007f},
};
// Variation selectors: dropped, as terminals disagree on whether they widen
// the character before them.
constexpr Range kVariationSelectors[] = {{0xfe00, 0xfe0f}, {0xe0100, 0xe01ef}};

template <std::size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
  return std::any_of(std::begin(ranges), std::end(ranges),
                     [c](const Range& r) { return c >= r.first && c <= r.last; });
}

bool Utf8Locale() {
  const char* codeset = nl_langinfo(CODESET);
  return MB_CUR_MAX > 1 && codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

bool Continuation(unsigned char b) { return (b & 0xc0) == 0x80; }

// The character at `at` and its length in bytes, or length 0 when the bytes
// there are no valid UTF-8 (overlong forms, surrogates and values beyond
// U+10FFFF included).
std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const std::size_t left = text.size() - at;
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80;  // the second byte's bounds, narrower after some leads
  unsigned char high = 0xbf;
  if (b0 >= 0xc2 && b0 <= 0xdf) {
    length = 2;
    c = b0 & 0x1f;
  } else if (b0 >= 0xe0 && b0 <= 0xef) {
    length = 3;
    c = b0 & 0x0f;
    if (b0 == 0xe0) low = 0xa0;
    if (b0 == 0xed) high = 0x9f;
  } else if (b0 >= 0xf0 && b0 <= 0xf4) {
    length = 4;
    c = b0 & 0x07;
    if (b0 == 0xf0) low = 0x90;
    if (b0 == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (left < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!Continuation(byte(i))) return 0;
    c = (c << 6) | (byte(i) & 0x3f);
  }
  return length;
}

Glyph Replaced(std::size_t begin, std::size_t end) { return {begin, end, "?", 1}; }

std::vector<Glyph> AsciiGlyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  glyphs.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == kTab) {
      glyphs.push_back({i, i + 1, " ", 1});
    } else if (b < kFirstPrintable || b >= kDel) {
      glyphs.push_back(Replaced(i, i + 1));
    } else {
      glyphs.push_back({i, i + 1, std::string(1, text[i]), 1});
    }
  }
  return glyphs;
}

std::vector<Glyph> Utf8Glyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  std::size_t marks = 0;  // on the last glyph
  std::size_t at = 0;
  while (at < text.size()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, at, c);
    const std::size_t end = at + std::max<std::size_t>(length, 1);
    const int width = length == 0 ? -1 : wcwidth(static_cast<wchar_t>(c));
    if (length == 0 || c < kFirstPrintable || (c >= kDel && c < kFirstAfterC1) ||
        In(kFormatCharacters, c)) {
      glyphs.push_back(c == kTab && length != 0 ? Glyph{at, end, " ", 1} : Replaced(at, end));
      marks = 0;
    } else if (In(kVariationSelectors, c)) {
      if (!glyphs.empty())
        glyphs.back().end = end;
      else
        glyphs.push_back(Replaced(at, end));
    } else if (width == 0) {
      // A combining mark belongs to the character before it; one with no
      // character to sit on is shown as what it is not: '?'.
      if (glyphs.empty()) {
        glyphs.push_back(Replaced(at, end));
      } else {
        Glyph& base = glyphs.back();
        if (marks++ < kMaxMarks) base.shown.append(text, at, length);
        base.end = end;
      }
    } else if (width < 0) {
      glyphs.push_back(Replaced(at, end));
      marks = 0;
    } else {
      glyphs.push_back({at, end, text.substr(at, length), width});
      marks = 0;
    }
    at = end;
  }
  return glyphs;
}

std::string Shown(const std::vector<Glyph>& glyphs, std::size_t from, std::size_t to) {
  std::string cells;
  for (std::size_t i = from; i < to; ++i) cells += glyphs[i].shown;
  return cells;
}

}  // namespace

std::vector<Glyph> Glyphs(const std::string& text) {
  return Utf8Locale() ? Utf8Glyphs(text) : AsciiGlyphs(text);
}

std::string CellText(const std::string& text) {
  const std::vector<Glyph> glyphs = Glyphs(text);
  return Shown(glyphs, 0, glyphs.size());
}

int Columns(const std::string& cells) {
  int columns = 0;
  for (const Glyph& g : Glyphs(cells)) columns += g.columns;
  return columns;
}

std::string FitColumns(const std::string& cells, int skip, int width) {
  skip = std::max(skip, 0);
  std::string fitted;
  if (width <= 0) return fitted;
  const long long end = static_cast<long long>(skip) + width;
  long long column = 0;
  for (const Glyph& g : Glyphs(cells)) {
    const long long next = column + g.columns;
    if (next <= skip) {
      column = next;
      continue;
    }
    const long long from = std::max<long long>(column, skip);
    const long long to = std::min(next, end);
    if (column < skip || next > end) {
      fitted.append(static_cast<std::size_t>(std::max<long long>(to - from, 0)), ' ');
    } else {
      fitted += g.shown;
    }
    column = next;
    if (column >= end) break;
  }
  return fitted;
}

std::size_t PreviousGlyph(const std::string& text, std::size_t at) {
  std::size_t previous = 0;
  for (const Glyph& g : Glyphs(text)) {
    if (g.end > at) break;
    previous = g.begin;
  }
  return std::min(previous, at);
}

std::size_t NextGlyph(const std::string& text, std::size_t at) {
  for (const Glyph& g : Glyphs(text)) {
    if (g.end > at) return g.end;
  }
  return text.size();
}

int ColumnsBefore(const std::string& text, std::size_t at) {
  int columns = 0;
  for (const Glyph& g : Glyphs(text)) {
    if (g.end > at) break;
    columns += g.columns;
  }
  return columns;
}

std::vector<std::string> WrapLines(const std::string& text, int width) {
  const int limit = std::max(width, 1);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t newline = text.find('\n', start);
    const std::vector<Glyph> g = Glyphs(
        text.substr(start, newline == std::string::npos ? std::string::npos : newline - start));
    std::size_t first = 0;
    while (true) {
      // As many characters as fit, at least one.
      std::size_t fit = first;
      int columns = 0;
      while (fit < g.size() && (fit == first || columns + g[fit].columns <= limit)) {
        columns += g[fit++].columns;
      }
      if (fit == g.size()) {
        lines.push_back(Shown(g, first, fit));
        break;
      }
      // The last blank within the width, or just after it; never the first.
      std::size_t blank = fit;
      while (blank > first && g[blank].shown != " ") --blank;
      if (blank > first) {
        lines.push_back(Shown(g, first, blank));
        first = blank + 1;  // the blank the line broke at is not carried over
      } else {
        lines.push_back(Shown(g, first, fit));
        first = fit;
      }
    }
    if (newline == std::string::npos) break;
    start = newline + 1;
  }
  return lines;
}
