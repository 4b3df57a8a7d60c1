// The lock is systemd-logind's inhibitor lock in block mode: for as long as
// the descriptor it hands out stays open, logind refuses sleep, shutdown and
// the idle action, and does not act on the lid switch or the suspend key.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <time.h>
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
// The whole request, from connecting to logind's reply, may delay the flash
// no longer than this; then the flash goes on without the lock. sd-bus's own
// time-out covers the call alone: a bus that accepts the connection and
// never answers would keep it waiting for its authentication (90 s).
constexpr std::uint64_t kInhibitTimeoutUsec = 5'000'000;

// The lock's descriptor once logind has answered, or -1 for a refusal.
struct InhibitReply {
  bool answered = false;
  int lock = -1;
};

int OnInhibitReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  auto& result = *static_cast<InhibitReply*>(userdata);
  result.answered = true;
  int fd = -1;
  if (!sd_bus_message_is_method_error(reply, nullptr) &&
      sd_bus_message_read(reply, "h", &fd) >= 0) {
    // The reply owns `fd` and closes it with the reply; the lock needs a
    // descriptor of its own, which no restart command started later inherits.
    result.lock = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  }
  return 0;
}

std::uint64_t NowUsec() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1'000;
}

// Asks logind for the lock; the descriptor that holds it, or -1. The bus is
// driven here, without blocking calls, up to one deadline for all of it.
int TakeInhibitorLock() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return -1;
  const std::uint64_t deadline = NowUsec() + kInhibitTimeoutUsec;
  sd_bus_message* call = nullptr;
  sd_bus_slot* slot = nullptr;
  InhibitReply reply;
  if (sd_bus_message_new_method_call(bus, &call, kLogindService, kLogindPath, kLogindManager,
                                     "Inhibit") >= 0 &&
      sd_bus_message_append(call, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy, kInhibitMode) >=
          0 &&
      sd_bus_call_async(bus, &slot, call, OnInhibitReply, &reply, kInhibitTimeoutUsec) >= 0) {
    while (!reply.answered) {
      const int processed = sd_bus_process(bus, nullptr);
      if (processed < 0) break;
      if (processed > 0) continue;
      const std::uint64_t now = NowUsec();
      if (now >= deadline || sd_bus_wait(bus, deadline - now) < 0) break;
    }
  }
  // The slot goes first, so no reply can reach `reply` once it is gone; the
  // bus is closed without the flush that would wait for its authentication.
  sd_bus_slot_unref(slot);
  sd_bus_message_unref(call);
  sd_bus_close_unref(bus);
  return reply.lock;
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
