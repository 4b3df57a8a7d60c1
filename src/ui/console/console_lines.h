// Where the console front-end reads its lines and writes its own.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

enum class LineRead {
  Read,     // a line, without its "\n"
  TooLong,  // a line longer than the limit, read to its end and kept empty
  End,      // the end of the input, nothing more read
};

class ConsoleLines {
 public:
  virtual ~ConsoleLines() = default;
  // The next line, at most `limit` bytes of it kept: a longer one is read to
  // its end and discarded whole, so its tail can never pass for a line.
  virtual LineRead ReadLine(std::string& line, std::size_t limit) = 0;
  virtual void Write(std::string_view text) = 0;
  virtual void Flush() = 0;
};

// The process's standard input and output, through the C library: C++
// streams would bring the whole locale machinery into the program, most of
// its size on Windows.
class StdioLines final : public ConsoleLines {
 public:
  LineRead ReadLine(std::string& line, std::size_t limit) override;
  void Write(std::string_view text) override;
  void Flush() override;
};

// Over C++ streams, for callers that feed and read strings.
class StreamLines final : public ConsoleLines {
 public:
  StreamLines(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
  LineRead ReadLine(std::string& line, std::size_t limit) override;
  void Write(std::string_view text) override { out_ << text; }
  void Flush() override { out_.flush(); }

 private:
  std::istream& in_;
  std::ostream& out_;
};
