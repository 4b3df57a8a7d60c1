// File names handled as text in the system's own code page, without
// std::filesystem (whose Windows side converts every name to UTF-16 and
// brings functions the Windows 9x family lacks).
#pragma once

#include <string>
#include <string_view>

// What ends a directory part: "/" here; on Windows also "\" and a drive's ":".
bool IsPathSeparator(char c);

// The last component of `path`: what follows its last separator.
std::string FileNamePart(std::string_view path);

// `name` inside `directory`, with one separator between them.
std::string JoinPath(std::string_view directory, std::string_view name);

// `path` with its file name's extension (from the name's last ".", unless
// that dot starts the name) replaced by `extension`, or `extension` appended.
std::string ReplaceExtension(std::string_view path, std::string_view extension);

// The bytes that the first `count` characters of `text` take. On Windows a
// name is in the system's ANSI code page and a character is a byte, as the
// system's own "%4.4s" takes it. Elsewhere names are UTF-8: a well-formed
// UTF-8 sequence is one character, and a byte that starts none counts alone,
// so a name in another encoding is taken byte by byte as before.
std::size_t LeadingCharactersLength(std::string_view text, std::size_t count);
