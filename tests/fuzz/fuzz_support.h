// What every fuzz target shares: a property check that stops the run where
// it fails, and a reader that cuts the fuzzer's bytes into typed pieces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/fixed_text.h"

// A broken property is a finding: stop at once, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)           \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (false)

namespace fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t b = rest_.front();
    rest_ = rest_.subspan(1);
    return b;
  }
  std::uint32_t Word() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return v;
  }
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    const auto taken = rest_.first(std::min(n, rest_.size()));
    rest_ = rest_.subspan(taken.size());
    return taken;
  }
  // Text up to (not including) the next `separator`, or all that is left.
  std::string Until(char separator) {
    const auto* begin = reinterpret_cast<const char*>(rest_.data());
    const std::string_view all(begin, rest_.size());
    const std::size_t at = all.find(separator);
    const std::string_view piece = all.substr(0, at);
    rest_ = rest_.subspan(at == std::string_view::npos ? rest_.size() : at + 1);
    return std::string(piece);
  }
  std::string Rest() {
    std::string all(reinterpret_cast<const char*>(rest_.data()), rest_.size());
    rest_ = {};
    return all;
  }
  bool Empty() const { return rest_.empty(); }

 private:
  std::span<const std::uint8_t> rest_;
};

inline std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return fixed_text::LowerAscii(c); });
  return s;
}
inline std::string Upper(std::string_view s) { return fixed_text::UpperAscii(s); }

}  // namespace fuzz
