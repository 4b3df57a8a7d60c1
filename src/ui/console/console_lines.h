// Where the console front-end reads its lines and writes its own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

enum class LineRead {
  Read,     // a line, without its "\n"
  TooLong,  // a line longer than the limit, read to its end and kept empty
  End,      // the end of the input, nothing more read
};

// One line from `next` (a character, or EOF at the end), keeping at most
// `limit` bytes of it. A template, so a reader over C++ streams (the tests')
// costs the program nothing.
template <typename Next>
LineRead ReadBoundedLine(Next next, std::string& line, std::size_t limit) {
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

class ConsoleLines {
 public:
  virtual ~ConsoleLines() = default;
  // The next line, at most `limit` bytes of it kept: a longer one is read to
  // its end and discarded whole, so its tail can never pass for a line.
  virtual LineRead ReadLine(std::string& line, std::size_t limit) = 0;
  virtual void Write(std::string_view text) = 0;
  virtual void Flush() = 0;
  // Forgets what a person typed before now, so it cannot answer a question
  // it was not meant for. Input from a script stays, to be read in order.
  virtual void DiscardTypeAhead() {}
};

// The process's standard input and output, through the C library: C++
// streams would bring the whole locale machinery into the program, most of
// its size on Windows.
class StdioLines final : public ConsoleLines {
 public:
  LineRead ReadLine(std::string& line, std::size_t limit) override;
  void Write(std::string_view text) override;
  void Flush() override;
  // On a terminal only (a script is not typing ahead).
  void DiscardTypeAhead() override;
};
