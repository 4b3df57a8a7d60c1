// What the terminal description of the program's terminal can do, looked up
// before the window starts on it.
#pragma once

// True when the description of TERM moves the cursor to any cell: the
// window is drawn that way. Unknown, generic (dumb) and hard-copy terminals
// are not, nor is a description without cursor addressing; they get the
// console front-end instead of a window they would show as garbage.
bool TerminalCanShowWindow();

// A capability's string in the current terminal description, or null when
// the terminal lacks it.
const char* TerminalCapability(const char* name);
