// The lock is systemd-logind's inhibitor lock in block mode: for as long as
// the descriptor it hands out stays open, logind refuses sleep, shutdown and
// the idle action, and does not act on the lid switch or the suspend key.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>

#include "app/power_guard.h"

namespace {

constexpr char kLogindService[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
constexpr char kInhibitWhat[] = "sleep:shutdown:idle:handle-lid-switch:handle-suspend-key";
constexpr char kInhibitWho[] = "Flash Utility";
constexpr char kInhibitWhy[] = "A drive's firmware is being updated";
constexpr char kInhibitMode[] = "block";
// A logind that does not answer within this delays the flash no longer.
constexpr std::uint64_t kInhibitTimeoutUsec = 5'000'000;

// Asks logind for the lock; the descriptor that holds it, or -1.
int TakeInhibitorLock() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return -1;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int lock = -1;
  int fd = -1;
  if (sd_bus_message_new_method_call(bus, &call, kLogindService, kLogindPath, kLogindManager,
                                     "Inhibit") >= 0 &&
      sd_bus_message_append(call, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy, kInhibitMode) >=
          0 &&
      sd_bus_call(bus, call, kInhibitTimeoutUsec, &error, &reply) >= 0 &&
      sd_bus_message_read(reply, "h", &fd) >= 0) {
    // The reply owns `fd` and closes it with the reply; the lock needs a
    // descriptor of its own, which no restart command started later inherits.
    lock = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(bus);
  return lock;
}

}  // namespace

PowerGuard PowerGuard::Take() {
  const int lock = TakeInhibitorLock();
  return lock >= 0 ? PowerGuard(lock) : PowerGuard();
}

void PowerGuard::Release() {
  if (lock_ < 0) return;
  close(lock_);
  lock_ = -1;
}
