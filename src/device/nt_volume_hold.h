// What keeps every other program and the system's own I/O away from a drive
// on the NT family while the flash sequence runs, and gives it back after.
// The order and the answers that stop or do not stop a sequence live here,
// apart from the calls themselves, so they can be checked on any system.
#pragma once

#include <cstdint>

#include "device/transport.h"

// Windows error codes the hold tells apart.
inline constexpr std::uint32_t kNtErrorAccessDenied = 5;
inline constexpr std::uint32_t kNtErrorSharingViolation = 32;
inline constexpr std::uint32_t kNtErrorLockViolation = 33;

// The calls on the drive's own handle, each answering 0 or the system's
// error code. The volume lock is granted only to the handle that refers to
// the volume, so all of them go through the handle the drive already has.
class VolumeControl {
 public:
  virtual ~VolumeControl() = default;
  virtual std::uint32_t LockVolume() = 0;       // FSCTL_LOCK_VOLUME
  virtual std::uint32_t DismountVolume() = 0;   // FSCTL_DISMOUNT_VOLUME
  virtual std::uint32_t LockDevice() = 0;       // IOCTL_CDROM_EXCLUSIVE_ACCESS, lock
  virtual std::uint32_t NotificationOff() = 0;  // IOCTL_STORAGE_MCN_CONTROL, off
  virtual std::uint32_t NotificationOn() = 0;
  virtual std::uint32_t UnlockDevice() = 0;
  virtual std::uint32_t UnlockVolume() = 0;  // FSCTL_UNLOCK_VOLUME
};

// True for the answers that mean someone else has the volume or the device:
// a file open on the disc, another program's lock.
bool HeldByAnother(std::uint32_t errorCode);

class VolumeHold {
 public:
  // Locks and dismounts the volume, takes the class driver's exclusive
  // access and turns media-change notification off. A lock or exclusive
  // access that another holds ends the attempt with everything given back
  // and `inUse` set; any other refusal (nothing mounted, a system without
  // the call) is passed over and the rest is taken.
  ExclusiveClaim Take(VolumeControl& control);
  // Gives back what Take got, in the reverse order.
  void GiveBack(VolumeControl& control);
  // The handle these were taken on is gone: the system gave them back with it.
  void Forget() { *this = VolumeHold{}; }

 private:
  bool volumeLocked_ = false;
  bool deviceLocked_ = false;
  bool notificationOff_ = false;
};
