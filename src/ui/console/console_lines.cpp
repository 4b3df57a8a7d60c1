#include "ui/console/console_lines.h"

LineRead StdioLines::ReadLine(std::string& line, std::size_t limit) {
  return ReadBoundedLine([] { return std::getchar(); }, line, limit);
}

void StdioLines::Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void StdioLines::Flush() { std::fflush(stdout); }
