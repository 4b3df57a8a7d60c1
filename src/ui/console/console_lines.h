// Where the console front-end reads its lines and writes its own.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

class ConsoleLines {
 public:
  virtual ~ConsoleLines() = default;
  // The next line without its "\n"; false at the end of the input when
  // nothing more was read.
  virtual bool ReadLine(std::string& line) = 0;
  virtual void Write(std::string_view text) = 0;
  virtual void Flush() = 0;
};

// The process's standard input and output, through the C library: C++
// streams would bring the whole locale machinery into the program, most of
// its size on Windows.
class StdioLines final : public ConsoleLines {
 public:
  bool ReadLine(std::string& line) override;
  void Write(std::string_view text) override;
  void Flush() override;
};

// Over C++ streams, for callers that feed and read strings.
class StreamLines final : public ConsoleLines {
 public:
  StreamLines(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
  bool ReadLine(std::string& line) override { return static_cast<bool>(std::getline(in_, line)); }
  void Write(std::string_view text) override { out_ << text; }
  void Flush() override { out_.flush(); }

 private:
  std::istream& in_;
  std::ostream& out_;
};
