#include "ui/console/console_lines.h"

#include <cstdio>

namespace {

// One line from `next` (a character, or EOF at the end), keeping at most
// `limit` bytes of it.
template <typename Next>
LineRead ReadBounded(Next next, std::string& line, std::size_t limit) {
  line.clear();
  int c = next();
  if (c == EOF) return LineRead::End;
  bool tooLong = false;
  while (c != EOF && c != '\n') {
    if (line.size() < limit) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;  // read on to the line's end, keeping nothing more
    }
    c = next();
  }
  if (tooLong) line.clear();
  return tooLong ? LineRead::TooLong : LineRead::Read;
}

}  // namespace

LineRead StdioLines::ReadLine(std::string& line, std::size_t limit) {
  return ReadBounded([] { return std::getchar(); }, line, limit);
}

void StdioLines::Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void StdioLines::Flush() { std::fflush(stdout); }

LineRead StreamLines::ReadLine(std::string& line, std::size_t limit) {
  std::streambuf* input = in_.rdbuf();
  if (input == nullptr || !in_.good()) return LineRead::End;
  const LineRead read = ReadBounded(
      [&] {
        const int c = input->sbumpc();
        return c == std::char_traits<char>::eof() ? EOF : c;
      },
      line, limit);
  if (read == LineRead::End) in_.setstate(std::ios::eofbit);
  return read;
}
