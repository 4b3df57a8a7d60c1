#include "ui/terminal/cell_text.h"

std::string CellText(const std::string& text) {
  std::string cells;
  cells.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\t') {
      cells += ' ';
    } else if (byte < 0x20 || byte >= 0x7f) {
      cells += '?';
    } else {
      cells += c;
    }
  }
  return cells;
}

std::vector<std::string> WrapLines(const std::string& text, int width) {
  const std::size_t limit = width < 1 ? 1 : static_cast<std::size_t>(width);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (line.size() > limit) {
      std::size_t cut = line.rfind(' ', limit);
      if (cut == std::string::npos || cut == 0) cut = limit;
      lines.push_back(line.substr(0, cut));
      // The blank the line broke at is not carried to the next line.
      line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}
