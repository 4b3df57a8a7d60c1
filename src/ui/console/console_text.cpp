#include "ui/console/console_text.h"

#include <array>

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr std::array<char, 16> kHexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
constexpr unsigned kHexBase = 16;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string EscapeConsoleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < kFirstPrintable || byte == kDelete) {
          out += "\\x";
          out += kHexDigits[byte / kHexBase];
          out += kHexDigits[byte % kHexBase];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string UnescapeConsoleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    const bool escape = text[i] == '\\';
    if (escape && (next == '\\' || next == 'n' || next == 'r' || next == 't')) {
      out += next == '\\' ? '\\' : next == 'n' ? '\n' : next == 'r' ? '\r' : '\t';
      ++i;
    } else if (escape && next == 'x' && i + 3 < text.size() && HexValue(text[i + 2]) >= 0 &&
               HexValue(text[i + 3]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 2]) * kHexBase + HexValue(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}
