// How text travels on the console protocol's lines. Every output line is
// escaped, so data (a drive's INQUIRY text, a file name) can never break a
// line or forge one: a backslash becomes "\\", a line feed "\n", a carriage
// return "\r", a tab "\t", and every other control character (and DEL)
// "\xNN" with two upper-case hex digits. The arguments of "type" and
// "click" accept the same escapes, so a name copied from a line names the
// same file.
#pragma once

#include <string>
#include <string_view>

std::string EscapeConsoleText(std::string_view text);
// Undoes EscapeConsoleText; a backslash that starts no known escape stays.
std::string UnescapeConsoleText(std::string_view text);
