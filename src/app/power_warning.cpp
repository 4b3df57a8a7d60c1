// A flash on battery power: the user is warned first, and may stop there.
#include "app/flash_form.h"

namespace {

constexpr char kBatteryWarning[] =
    "\nWARNING:\n"
    "\nThis computer is running on battery power."
    "\nIf the power fails while the flash is in progress,"
    "\nthe drive can become unusable."
    "\nPlease connect the computer to mains power first."
    "\n\nDo you wish to continue on battery power?\n";

}  // namespace

bool TFlashForm::AcceptPowerSource() {
  // Asked after the update was confirmed, right before the first command,
  // so the answer reflects the power the flash will run on.
  if (!env_.runsOnBattery || !env_.runsOnBattery()) return true;
  return host_.ShowMessage(kBatteryWarning, BoxKind::Warning, BoxButtons::YesNo) == BoxAnswer::Yes;
}
