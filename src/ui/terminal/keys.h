// A key press, mouse click or terminal event, told apart from how the
// terminal encoded it, so the window's key handling needs no curses.
#pragma once

enum class KeyName {
  None,
  Text,  // a printable character, in `text`
  Tab,
  BackTab,
  Up,
  Down,
  Left,
  Right,
  Home,
  End,
  PageUp,
  PageDown,
  Enter,
  Escape,
  Backspace,
  Delete,
  F4,
  AltDown,
  F10,
  CtrlQ,
  Click,  // the first mouse button, at `row`, `column`
  Resize,
  EndOfInput,
};

struct Key {
  KeyName name = KeyName::None;
  char text = 0;
  int row = 0;
  int column = 0;

  bool Is(KeyName n) const { return name == n; }
  bool IsSpace() const { return name == KeyName::Text && text == ' '; }
  bool IsConfirm() const { return name == KeyName::Enter || IsSpace(); }
  bool IsLetter(char lower) const {
    return name == KeyName::Text && (text == lower || text == lower - 'a' + 'A');
  }
};
