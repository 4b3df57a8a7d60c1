// The console front-end's lines over C++ streams, for tests that feed it a
// string and read what it printed. Kept out of the program, which would
// otherwise link the stream machinery.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "ui/console/console_lines.h"

// Over C++ streams, for callers that feed and read strings.
class StreamLines final : public ConsoleLines {
 public:
  StreamLines(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
  LineRead ReadLine(std::string& line, std::size_t limit) override {
    std::streambuf* input = in_.rdbuf();
    if (input == nullptr || !in_.good()) return LineRead::End;
    const LineRead read = ReadBoundedLine(
        [input] {
          const int c = input->sbumpc();
          return c == std::char_traits<char>::eof() ? EOF : c;
        },
        line, limit);
    if (read == LineRead::End) in_.setstate(std::ios::eofbit);
    return read;
  }
  void Write(std::string_view text) override { out_ << text; }
  void Flush() override { out_.flush(); }

 private:
  std::istream& in_;
  std::ostream& out_;
};
