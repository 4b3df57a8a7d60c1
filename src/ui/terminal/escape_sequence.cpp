#include "ui/terminal/escape_sequence.h"

namespace {

constexpr int kEscape = 0x1b;
constexpr int kBell = 0x07;
constexpr int kFirstPrintable = 0x20;
constexpr int kDel = 0x7f;
// Parameter and intermediate bytes (ECMA-48): the sequence goes on.
constexpr int kLastParameter = 0x3f;

bool Printable(int byte) { return byte >= kFirstPrintable && byte < kDel; }

}  // namespace

EscapeTail::Step EscapeTail::Feed(int byte) {
  switch (state_) {
    case State::AfterEscape:
      if (byte > 0xff) return Step::Done;      // Alt with a key the description knows
      if (byte == kEscape) return Step::More;  // Alt before a sequence: ESC ESC [ ...
      if (!Printable(byte)) return Step::NotPart;
      switch (byte) {
        case '[':
        case 'O':  // SS3 (function keys) ends as a control sequence does
          state_ = State::ControlSequence;
          return Step::More;
        case ']':
        case 'P':
        case 'X':
        case '^':
        case '_':
          state_ = State::String;
          return Step::More;
        default:
          return Step::Done;  // Alt with a letter: no meaning in this window
      }
    case State::ControlSequence:
      if (byte >= kFirstPrintable && byte <= kLastParameter) return Step::More;
      return Printable(byte) ? Step::Done : Step::NotPart;
    case State::String:
      if (byte == kBell) return Step::Done;
      if (byte == kEscape) state_ = State::StringEscape;
      return Step::More;
    case State::StringEscape:
      return byte == '\\' ? Step::Done : Step::NotPart;
  }
  return Step::Done;
}
