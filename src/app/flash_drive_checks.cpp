// What FLASH makes sure of around the sequence itself: that the drive can be
// sent the firmware at all before anything is asked or sent, and that it has
// come back from programming before it is let go.

#include "app/flash_form.h"
#include "common/format_text.h"
#include "common/scsi_opcodes.h"
#include "device/cddrives.h"

namespace {

constexpr std::uint32_t kBytesPerKib = 1024;
// The drive path, the connection's limit and the piece size, both in KiB.
constexpr char kPieceTooLargeFormat[] =
    "The drive %s takes at most %u KiB in one command over its connection, "
    "but the firmware is sent in pieces of %u KiB.\n"
    "Nothing was sent to the drive. Connect it another way (another USB adapter, or an "
    "internal SATA or IDE port), then try again.";
// The drive path and the seconds waited.
constexpr char kNoAnswerAfterFlashFormat[] =
    "The drive %s has not answered for %u seconds since its flash.\n"
    "Leave it switched on, then restart the computer so that the drive is found again.";
constexpr char kRestartWaitStatus[] = "Waiting for the drive to restart with its new firmware...";

// A drive that has programmed its flash restarts as after a reset, and ATA
// gives a device 31 seconds to come out of a reset; the rest covers loading
// a disc. Until it answers, anything that opens the node would make the
// kernel poll a drive that cannot answer, and its error handler would reset
// it in the middle of its start.
constexpr std::uint32_t kRestartBoundSeconds = 60;
constexpr unsigned kRestartPauseMs = 500;
constexpr int kRestartPasses = 120;  // the bound in pauses, for a clock that never moves
constexpr std::uint16_t kRestartPollTimeOut = 10;

}  // namespace

bool TFlashForm::DriveCanTakeFlash() {
  CDDrive& drive = *selectedDrive_;
  if (const std::string missing = drive.MissingPrivilege(); !missing.empty()) {
    host_.ShowMessage(missing, BoxKind::Plain, BoxButtons::Ok);
    return false;
  }
  const std::optional<std::uint32_t> limit = drive.MaxTransferBytes();
  if (limit && *limit < kTransferBufferSize) {
    host_.ShowMessage(FormatText(kPieceTooLargeFormat, drive.DevicePath().c_str(),
                                 static_cast<unsigned>(*limit / kBytesPerKib),
                                 static_cast<unsigned>(kTransferBufferSize / kBytesPerKib)),
                      BoxKind::Plain, BoxButtons::Ok);
    return false;
  }
  return true;
}

void TFlashForm::AwaitDriveAfterFlash() {
  CDDrive& drive = *selectedDrive_;
  SetStatus(kRestartWaitStatus);
  DriveCommand testUnitReady;
  testUnitReady.cdb[0] = scsi::kOpTestUnitReady;
  testUnitReady.direction = kDirectionIn;
  // A drive still starting may not answer at all: each poll gives up early
  // rather than holding the wait for a whole command time-out.
  CDDrive::SetTimeOut(kRestartPollTimeOut);
  const std::uint32_t start = env_.clockMs ? env_.clockMs() : 0;
  bool answered = false;
  for (int pass = 0; pass < kRestartPasses && !answered && !drive.Gone(); ++pass) {
    if (env_.clockMs && env_.clockMs() - start >= kRestartBoundSeconds * 1000U) break;
    if (env_.sleep) env_.sleep(kRestartPauseMs);
    drive.Poll(testUnitReady);
    // Any answer counts (no disc: 02h/3Ah/00h) but "becoming ready"; a
    // failed call or a time-out is no answer.
    answered = drive.LastResult().callSucceeded && !drive.SenseIs(0x02, 0x04, 0x01);
  }
  CDDrive::SetTimeOut(kDefaultTimeOutSeconds);
  if (!answered && !drive.Gone()) {
    host_.ShowMessage(FormatText(kNoAnswerAfterFlashFormat, drive.DevicePath().c_str(),
                                 static_cast<unsigned>(kRestartBoundSeconds)),
                      BoxKind::Plain, BoxButtons::Ok);
  }
}
