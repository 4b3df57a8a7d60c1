// The rest of an escape sequence that the terminal description does not
// know. Curses hands such a sequence over as Escape followed by its bytes,
// which would otherwise arrive as typed text; this tells where it ends, so
// that all of it can be dropped. A string (OSC, DCS, APC, PM, SOS) is
// dropped to its end however long it is, as no part of it is a key; nothing
// of it is kept. One that never ends is ended by the pause after its burst
// (the caller's), so no input is lost for longer than that.
#pragma once

class EscapeTail {
 public:
  enum class Step {
    More,     // the byte belongs to the sequence, which goes on
    Done,     // the byte ends the sequence
    NotPart,  // the byte is no part of it: the sequence ended before it
  };

  // Feeds the next byte after the Escape, or a curses key code (above 255).
  Step Feed(int byte);

 private:
  enum class State { AfterEscape, ControlSequence, String, StringEscape };
  State state_ = State::AfterEscape;
};
