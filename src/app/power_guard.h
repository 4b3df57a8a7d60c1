// Keeps the machine running while a flash is under way: no sleep, no
// shutdown, no idle action, as far as the system lets a program ask for that.
#pragma once

class PowerGuard {
 public:
  PowerGuard() = default;  // holds nothing
  // Asks the system; holds nothing when it cannot be asked (Linux: no system
  // bus or no logind there; Windows 95: no such request), since a flash must
  // not depend on it.
  static PowerGuard Take();
  ~PowerGuard();
  PowerGuard(PowerGuard&& other) noexcept;
  PowerGuard& operator=(PowerGuard&& other) noexcept;
  PowerGuard(const PowerGuard&) = delete;
  PowerGuard& operator=(const PowerGuard&) = delete;

  bool Held() const { return lock_ >= 0; }

 private:
  explicit PowerGuard(int lock) : lock_(lock) {}
  void Release();

  // Linux: the inhibitor lock's descriptor, the lock lasts while it is open.
  // Windows: 0 while the thread's execution state asks for the system.
  int lock_ = -1;
};
