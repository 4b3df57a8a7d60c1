// FLASH in flasher mode: confirm, bring the drive to rest, load profile and
// image into its DRAM, read both back, then let the drive program its flash.
#include <algorithm>
#include <cstring>

#include "app/flash_form.h"
#include "app/ordinal_text.h"
#include "app/run_guard.h"
#include "common/scsi_opcodes.h"
#include "device/cddrives.h"
#include "protocol/buffer_commands.h"
#include "protocol/flash_profile_setup.h"

namespace {

// Each piece fills the transfer buffer exactly: one command per piece.
constexpr std::uint32_t kPieceSize = kTransferBufferSize;
static_assert(kImageCapacity % kPieceSize == 0, "whole pieces never reach past the image region");
constexpr int kReadinessPasses = 500;
constexpr unsigned kReadinessPauseMs = 30;
constexpr std::uint16_t kFlashStartTimeOut = 180;
constexpr std::uint32_t kFlashStartMax = 200;
// START STOP UNIT byte 4: load the medium and start, or stop.
constexpr std::uint8_t kLoadAndStart = 0x03;
constexpr std::uint8_t kStop = 0x00;
constexpr char kRestartRefusedText[] =
    "\nThe system could not be restarted.\n"
    "\nPlease restart it yourself for the changes to take effect.\n";

constexpr char kSleptText[] =
    "The computer slept while the firmware was in the drive's memory,\n"
    "and the drive lost it. The flash was not started: the drive still\n"
    "holds its old firmware.\n"
    "\nPlease flash the drive again.";

DriveCommand NoDataCommand(std::initializer_list<std::uint8_t> leadingBytes) {
  DriveCommand command;
  std::copy(leadingBytes.begin(), leadingBytes.end(), command.cdb.begin());
  command.direction = kDirectionIn;
  command.length = 0;
  return command;
}

}  // namespace

void TFlashForm::RunFlashSequence() {
  profile_.ClearForRun();
  const int comboIndex = ComboBox.ItemIndex();
  if (!selectedDrive_) return;

  if (!DriveCanTakeFlash()) return;
  const std::string current = selectedDrive_->Revision();
  const std::string carried = record_.BinNameRevision();
  const std::string update = "\nUpdate Firmware " + current + " to " + carried + " ?\n";
  std::string question = update;
  if (!UnrestrictedRange() && !OrdinalLess(current, carried)) {
    question = "\nWARNING !!!\n\nYour drive Firmware " + current +
               " is aready the most updated !\n" + update;
  }
  const BoxKind icon = OrdinalLess(carried, current) ? BoxKind::Warning : BoxKind::Confirm;
  if (host_.ShowMessage(question, icon, BoxButtons::YesNo) != BoxAnswer::Yes) return;
  if (!AcceptPowerSource()) return;

  bool completed = false;
  bool mayGoOn = true;
  {
    // From the first command to the last the drive is held for this program
    // alone: nobody can mount a disc in it or claim it in between. A drive
    // already held elsewhere gets its box and no command.
    const ExclusiveUse exclusive(*selectedDrive_);
    if (!exclusive.Held()) return;
    // Sleep and shutdown wait while the drive is being written. The lock is
    // gone before the restart is offered: logind may refuse a restart to the
    // very program that holds it.
    const PowerGuard running = env_.keepRunning ? env_.keepRunning() : PowerGuard();
    FlashAll = record_.FlashAll();
    // From the first command on, nothing from outside ends the program until
    // the drive has been left alone again.
    RunGuard guard;
    WaitUntilReady();

    ProgressBar.SetMin(0);
    ProgressBar.SetMax(imageLength_);
    ProgressBar.SetStep(kPieceSize);
    if (WorkBuffer.empty()) WorkBuffer.assign(kPieceSize, 0);
    host_.SetCursor(CursorShape::Busy);
    completed = DownloadVerifyAndFlash(comboIndex);
    // The sequence is over: a request to end the program that came during it
    // is acted on now, and the restart is not offered.
    mayGoOn = guard.End();
  }
  host_.SequenceEnded();
  if (completed && mayGoOn) OfferRestart();
  host_.SetCursor(CursorShape::Default);
  ProgressBar.SetPosition(0);
  if (!mayGoOn) QuitAfterHeldRequest();
}

void TFlashForm::QuitAfterHeldRequest() {
  host_.PostQuit();
  host_.CloseWindow();
}

void TFlashForm::WaitUntilReady() {
  // Outcomes are not judged: a drive that rejects these only shortens the
  // wait. So a drive's sense answer shows no box, however many polls it
  // takes, even once error pop-ups are on; a command that gets no answer at
  // all still shows its box.
  CDDrive& drive = *selectedDrive_;
  const auto poll = [&drive](std::initializer_list<std::uint8_t> leadingBytes) {
    drive.ExecCommand(NoDataCommand(leadingBytes), SenseAnswer::ReadByCaller);
  };
  poll({scsi::kOpStartStopUnit, 0, 0, 0, kLoadAndStart});
  for (int pass = 0; pass < kReadinessPasses; ++pass) {
    if (env_.sleep) env_.sleep(kReadinessPauseMs);
    poll({scsi::kOpTestUnitReady});
    poll({scsi::kOpStopPlayScan});
    if (!drive.SenseIs(0x02, 0x04, 0x01)) break;  // not ready, becoming ready
  }
  poll({scsi::kOpStopPlayScan});
  poll({scsi::kOpStartStopUnit, 0, 0, 0, kStop});
}

bool TFlashForm::DownloadVerifyAndFlash(int comboIndex) {
  const unsigned char* image = record_.Image();
  // What the drive's DRAM receives from here on is gone if the machine sleeps.
  const std::unique_ptr<SleepWatch> sleepWatch = env_.watchSleep ? env_.watchSleep() : nullptr;

  if (format_ != ImageFormat::Plain) {
    SetStatus("Write profile to drive's DRAM... ");
    if (!protocol::SetupFlashProfile(protocol_, format_, profile_, WorkBuffer.data(),
                                     static_cast<std::uint32_t>(WorkBuffer.size()))) {
      AppendStatus(", Fail! ");
      return false;
    }
    const auto length = static_cast<std::size_t>(std::max(profile_.ProfileLength, 0));
    if (ProfileCopy.size() < length) ProfileCopy.resize(length);
    std::copy_n(WorkBuffer.begin(), std::min(length, WorkBuffer.size()), ProfileCopy.begin());
  }

  SetStatus("Write BIN to drive's DRAM... ");
  ProgressBar.SetPosition(0);
  for (std::uint32_t offset = 0; offset < imageLength_; offset += kPieceSize) {
    // Whole pieces from the image region; a short last piece carries the
    // region's bytes behind the image, never bytes past the region.
    std::memcpy(WorkBuffer.data(), image + offset, kPieceSize);
    if (!protocol::WriteBuffer(protocol_, offset, WorkBuffer.data(), kPieceSize,
                               protocol::kControlData)) {
      AppendStatus(", Fail! ");
      return false;
    }
    ProgressBar.StepIt();
  }

  if (format_ == ImageFormat::CriticalEntry) {
    SetStatus("Drive entry critical... ");
    if (!protocol::EntryCritical(protocol_)) {
      AppendStatus(", Fail! ");
      return false;
    }
  }

  SetStatus("Read back and Verify drive's DRAM... ");
  if (profile_.ProfileMatched &&
      !protocol::ReadVerifyProfile(protocol_, format_, profile_, ProfileCopy.data(),
                                   static_cast<std::uint32_t>(ProfileCopy.size()))) {
    AppendStatus(", Valid Profile Fail!");
    return false;
  }
  ProgressBar.SetPosition(0);
  for (std::uint32_t offset = 0; offset < imageLength_; offset += kPieceSize) {
    // A read that moves fewer bytes than asked, where the path does not say
    // so (ASPI), must not leave an earlier piece's bytes to pass the compare.
    if (CDDrive::GetBufferLength() >= kPieceSize) {
      std::transform(image + offset, image + offset + kPieceSize, CDDrive::GetBuffer(),
                     [](std::uint8_t byte) { return static_cast<std::uint8_t>(~byte); });
    }
    if (!protocol::ReadBuffer(protocol_, offset, WorkBuffer.data(), kPieceSize)) {
      AppendStatus(", Read Fail! ");
      return false;
    }
    if (std::memcmp(WorkBuffer.data(), image + offset, kPieceSize) != 0) {
      AppendStatus(", Compare BIN and DRAM Fail! ");
      host_.ShowMessage("Compare BIN and DRAM fail!", BoxKind::Plain, BoxButtons::Ok);
      return false;
    }
    ProgressBar.StepIt();
  }

  if (sleepWatch && sleepWatch->Slept()) {
    AppendStatus(", Fail! ");
    host_.ShowMessage(kSleptText, BoxKind::Error, BoxButtons::Ok);
    return false;
  }
  SetStatus("Don't turn off the system, Flash is in progress...");
  ProgressBar.SetMax(kFlashStartMax);
  ProgressBar.SetPosition(kFlashStartMax - 2);
  ProgressBar.SetStep(0);
  // Only a flash start that succeeded puts the time-out back. After a failed
  // one it stays at 180 s for the rest of the run, so later commands wait as
  // long for a drive that may still be busy with it; the test
  // FlashFaults.FailedFlashStartKeepsTheLongTimeOut pins this.
  CDDrive::SetTimeOut(kFlashStartTimeOut);
  if (!protocol::WriteBuffer(
          protocol_, 0, ProfileCopy.data(), 0,
          FlashAll ? protocol::kControlFlashStartAll : protocol::kControlFlashStart)) {
    SetStatus("Flash Fail.");
    return false;
  }

  CDDrive::SetTimeOut(kDefaultTimeOutSeconds);
  AwaitDriveAfterFlash();
  ProgressBar.SetPosition(ProgressBar.Max());
  SetStatus("Flash Completed.");
  RefreshDriveLine(comboIndex);
  return true;
}

void TFlashForm::OfferRestart() {
  if (host_.ShowMessage("The system needs to be restarted for the changes to take effect ?",
                        BoxKind::Confirm, BoxButtons::YesNo) != BoxAnswer::Yes) {
    return;
  }
  host_.SetCursor(CursorShape::Default);
  if (env_.restartSystem && !env_.restartSystem()) {
    host_.ShowMessage(kRestartRefusedText, BoxKind::Warning, BoxButtons::Ok);
  }
}

void TFlashForm::RefreshDriveLine(int comboIndex) {
  const std::string description = selectedDrive_->Description();
  int line = comboIndex;
  if (line < 0) {
    // Typed text left no line selected: the line to refresh is the one that
    // stands for the selected drive.
    for (std::size_t k = 0; k < ComboBox.Items().size() && k < DriveIndexMap.size(); ++k) {
      if (Drives->At(static_cast<std::size_t>(DriveIndexMap[k])) == selectedDrive_) {
        line = static_cast<int>(k);
        break;
      }
    }
    if (line < 0) return;
  }
  ComboBox.Insert(line, description);
  ComboBox.Delete(line + 1);
  ComboBox.SetItemIndex(comboIndex);
  host_.Repaint();
}
