#include "app/power_guard.h"

#include <utility>

PowerGuard::~PowerGuard() { Release(); }

PowerGuard::PowerGuard(PowerGuard&& other) noexcept : lock_(std::exchange(other.lock_, -1)) {}

PowerGuard& PowerGuard::operator=(PowerGuard&& other) noexcept {
  if (this != &other) {
    Release();
    lock_ = std::exchange(other.lock_, -1);
  }
  return *this;
}
