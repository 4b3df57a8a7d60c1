// CDDrive: one optical drive reached through the transport chosen for this run.
//
// All drives share one module-wide state: the transport path (decided by the
// first construction while no drive is open), the registered data buffer, the
// command time-out, the last construction status and the error pop-ups switch.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/dialog.h"
#include "device/drive_command.h"

class DeviceHandle;   // an open device on the chosen transport path (transport.h)
class TransportPath;  // the path this drive was opened on (transport.h)
struct DriveAddress;  // where a drive sits, as the scan found it (transport.h)

// Construction statuses reported by CDDrive::GetStatus().
inline constexpr std::uint8_t kStatusOpened = 0x00;
inline constexpr std::uint8_t kStatusAspiNotReady = 0x60;
inline constexpr std::uint8_t kStatusAspiEntryMissing = 0x61;
inline constexpr std::uint8_t kStatusAspiNotLoaded = 0x62;
inline constexpr std::uint8_t kStatusNotOpened = 0x63;

inline constexpr std::uint32_t kInternalBufferLength = 2352;
inline constexpr std::uint16_t kDefaultTimeOutSeconds = 60;

// Who reads a command's sense answer. A failed command shows the sense box
// while error pop-ups are on. A poll (is the drive ready yet?) asks for the
// sense answer itself: the drive answering with sense is its outcome, read
// by the caller through SenseIs, and shows nothing; a command that gets no
// answer at all (the call failed, timed out, found no drive) still shows its
// boxes.
// Nothing (a poll whose every outcome, a time-out included, the caller
// judges) shows no box at all.
enum class SenseAnswer : std::uint8_t { Failure, ReadByCaller, Nothing };

class CDDrive {
 public:
  CDDrive(char letter, std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  // Opens exactly the device the scan found there (its node on Linux).
  explicit CDDrive(const DriveAddress& address);
  ~CDDrive();
  CDDrive(const CDDrive&) = delete;
  CDDrive& operator=(const CDDrive&) = delete;

  // Sends the command and waits for its end. True exactly when the call
  // succeeded and the sense key byte is 0.
  bool ExecCommand(const DriveCommand& command, SenseAnswer answer = SenseAnswer::Failure);
  // ExecCommand without any box: for polls whose failures are expected and
  // judged by the caller from LastResult.
  bool Poll(const DriveCommand& command);
  bool SenseIs(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) const;
  // "%02X %02X %02X. %02X, %04X": sense key, ASC, ASCQ, status, error code.
  std::string SenseText() const;
  const CommandResult& LastResult() const { return last_; }

  // Identification (sends INQUIRY again). "0" when the drive does not answer.
  std::string Description();
  std::string VendorProduct() const;  // "%24.24s" of the inquiry text
  std::string Revision() const;       // "%4.4s" of the 4 characters after it

  char Letter() const { return letter_; }
  std::uint8_t HostAdapter() const { return hostAdapter_; }
  std::uint8_t Target() const { return target_; }
  std::uint8_t Lun() const { return lun_; }
  bool IsOpen() const { return opened_; }
  // The device this drive was opened as ("/dev/sr1", "\\.\E:"); empty when
  // the open failed before a device was chosen.
  const std::string& DevicePath() const { return devicePath_; }

  // Takes the drive for this program alone (Linux: its node opened again
  // with O_EXCL), so that no disc is mounted in it and no other program
  // claims it until ReleaseExclusive. False, with a box that says why and
  // nothing sent to the drive, when another holds it or it cannot be opened
  // so. Paths that keep their share mode succeed without holding anything.
  bool HoldExclusive();
  void ReleaseExclusive();
  bool HeldExclusively() const { return exclusive_; }

  // What keeps this program from sending firmware commands to the drive (a
  // missing privilege), as a text for the user; empty when nothing does.
  std::string MissingPrivilege() const;
  // The most bytes one command can move over the drive's connection; nullopt
  // when the system does not say.
  std::optional<std::uint32_t> MaxTransferBytes() const;
  // The drive was taken away from the system (unplugged) since it was opened.
  bool Gone() const;

  // Module-wide operations (shared by all drives).
  static void SetTimeOut(std::uint16_t seconds);
  static std::uint8_t GetStatus();
  static std::uint8_t* GetBuffer();
  static std::uint32_t GetBufferLength();
  // A null buffer restores the internal 2352-byte buffer, whatever the length.
  static void SetBuffer(std::uint8_t* buffer, std::uint32_t length);
  // Where the transport's message boxes go; null shows nothing.
  static void SetDialogSink(DialogSink* sink);

 private:
  // A device that could not be opened: the failure box, the sense report
  // and the path's notice, with `errorCode` as the last result.
  void ReportOpenFailure(std::uint32_t errorCode, const std::string& notice);
  bool Identify();
  void ReportSenseError();
  bool Usable() const;  // opened, and its path not gone with a module reset

  char letter_;
  std::uint8_t hostAdapter_;
  std::uint8_t target_;
  std::uint8_t lun_;
  CommandResult last_;
  std::unique_ptr<DeviceHandle> handle_;
  std::string description_;
  std::string devicePath_;
  bool opened_ = false;
  bool exclusive_ = false;
  TransportPath* path_ = nullptr;
  std::uint32_t generation_ = 0;  // module generation this drive belongs to
};

// Holds a drive exclusively for one scope (a flash sequence) and gives it
// back at the scope's end, whichever way the scope is left.
class ExclusiveUse {
 public:
  explicit ExclusiveUse(CDDrive& drive) : drive_(drive), held_(drive.HoldExclusive()) {}
  ~ExclusiveUse() {
    if (held_) drive_.ReleaseExclusive();
  }
  ExclusiveUse(const ExclusiveUse&) = delete;
  ExclusiveUse& operator=(const ExclusiveUse&) = delete;

  bool Held() const { return held_; }

 private:
  CDDrive& drive_;
  bool held_;
};
