#include "device/nt_volume_hold.h"

#include "device/device_messages.h"

bool HeldByAnother(std::uint32_t errorCode) {
  return errorCode == kNtErrorAccessDenied || errorCode == kNtErrorSharingViolation ||
         errorCode == kNtErrorLockViolation;
}

ExclusiveClaim VolumeHold::Take(VolumeControl& control) {
  GiveBack(control);
  // A drive without a disc, or a system whose file system has no lock,
  // refuses with other codes: the sequence goes on without the lock then.
  const std::uint32_t lock = control.LockVolume();
  if (HeldByAnother(lock)) {
    return {.errorCode = lock, .inUse = true, .inUseAdvice = kCloseProgramsAdvice};
  }
  volumeLocked_ = lock == 0;
  // Fails when nothing is mounted; the lock alone then keeps mounts away.
  if (volumeLocked_) control.DismountVolume();
  // The class driver's own lock stops its polling and the START UNIT it
  // sends by itself after the sequence stops the drive (Vista and later).
  const std::uint32_t device = control.LockDevice();
  if (HeldByAnother(device)) {
    GiveBack(control);
    return {.errorCode = device, .inUse = true, .inUseAdvice = kCloseProgramsAdvice};
  }
  deviceLocked_ = device == 0;
  notificationOff_ = control.NotificationOff() == 0;
  return {};
}

void VolumeHold::GiveBack(VolumeControl& control) {
  if (notificationOff_) control.NotificationOn();
  if (deviceLocked_) control.UnlockDevice();
  // Unlocking a dismounted volume lets the system mount it afresh on next use.
  if (volumeLocked_) control.UnlockVolume();
  *this = VolumeHold{};
}
