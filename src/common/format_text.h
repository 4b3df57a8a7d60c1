// printf-style formatting into a string, for messages whose wording is a
// format kept as a named constant.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define FLASH_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define FLASH_PRINTF_FORMAT(fmt, args)
#endif

// The whole text, however long; an encoding error gives an empty text.
inline std::string FormatText(const char* format, ...) FLASH_PRINTF_FORMAT(1, 2);

inline std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  return text;
}
