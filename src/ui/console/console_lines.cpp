#include "ui/console/console_lines.h"

#include <cstdio>

bool StdioLines::ReadLine(std::string& line) {
  line.clear();
  int c = std::getchar();
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    line += static_cast<char>(c);
    c = std::getchar();
  }
  return true;
}

void StdioLines::Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void StdioLines::Flush() { std::fflush(stdout); }
