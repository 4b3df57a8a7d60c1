// A simulated ATAPI optical drive of the family this utility flashes, working at
// the level of 12-byte command blocks, with fault injection and a transcript of
// every command it received. Nothing here sleeps or touches a device: a command
// costs a bounds check, a copy and a digest.
//
// Typical use in a test (see sim_transport.h for reaching it through CDDrive):
//
//   sim::SimMachine machine;
//   sim::SimDrive& drive = machine.AddDrive({.revision = "1.00", .revisionAfterFlash = "1.10"});
//   drive.InjectFault({.kind = sim::FaultKind::Sense,
//                      .when = sim::FaultTrigger::OnOpcode(0x3B, 0x80),
//                      .sense = {0x04, 0x44, 0x00}});
//   ... run the code under test ...
//   EXPECT_EQ(drive.TranscriptText(), (std::vector<std::string>{
//       "12 00 00 00 80 00 00 00 00 00 00 00 in 128", ...}));
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::size_t kCdbBytes = 12;
using Cdb = std::array<std::uint8_t, kCdbBytes>;

inline constexpr std::uint32_t kDefaultDramSize = 1024 * 1024;
inline constexpr std::size_t kEepromSize = 0x10000;  // the 16-bit EEPROM address space
inline constexpr std::size_t kInquiryDataLength = 128;
inline constexpr std::size_t kFlashIdLength = 128;
inline constexpr std::size_t kFlashStartAnswerLength = 16;
inline constexpr std::uint8_t kDirectionIn = 1;  // any other value moves data to the drive
// DriveConfig::becomingReadyPolls of a drive that never becomes ready.
inline constexpr std::uint32_t kNeverReady = std::numeric_limits<std::uint32_t>::max();

struct SenseTriple {
  std::uint8_t key = 0;  // the whole sense byte 2, flag bits (ILI 20h, EOM 40h, FM 80h) included
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  friend bool operator==(const SenseTriple&, const SenseTriple&) = default;
};

inline constexpr SenseTriple kSenseNone{};
inline constexpr SenseTriple kSenseBecomingReady{0x02, 0x04, 0x01};
inline constexpr SenseTriple kSenseNoMedium{0x02, 0x3A, 0x00};
inline constexpr SenseTriple kSenseInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr SenseTriple kSenseInvalidField{0x05, 0x24, 0x00};
inline constexpr SenseTriple kSenseSequenceError{0x05, 0x2C, 0x00};  // flash-start without an image

struct DriveConfig {
  // Identification. vendor/product/revision are cut or blank-padded to 8/16/4
  // characters. A non-empty rawInquiry replaces the whole INQUIRY answer
  // (zero-padded to 128 bytes), e.g. to put a zero byte inside the first 28
  // characters; a successful flash-start still patches bytes 32-35 then.
  std::string vendor = "SIMUL   ";
  std::string product = "SIM DVD-ROM     ";
  std::string revision = "1.00";
  std::vector<std::uint8_t> rawInquiry{};
  // Revision reported after a successful flash-start; empty keeps the old one.
  std::string revisionAfterFlash{};

  std::array<std::uint8_t, 4> flashChipId{0xBF, 0xD6, 0x00, 0x01};
  std::uint32_t dramSize = kDefaultDramSize;
  bool mediumPresent = true;
  // How many TEST UNIT READY commands, and separately how many STOP PLAY/SCAN
  // commands, answer 02h/04h/01h before the drive is ready; kNeverReady: never.
  std::uint32_t becomingReadyPolls = 0;
  // How many TEST UNIT READY commands after each successful flash start
  // answer 02h/04h/01h while the drive restarts with its new firmware.
  std::uint32_t becomingReadyAfterFlash = 0;
  // What the serial-port command F3h 04h answers.
  SenseTriple serialPortAnswer = kSenseNone;

  // Where the drive sits. letter ' ' for paths without drive letters.
  char letter = ' ';
  std::uint8_t host = 0;
  std::uint8_t channel = 0;  // the bus within the host; only paths that name it use it
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  // Open behaviour: a drive that cannot be opened fails with openErrorCode.
  bool openable = true;
  std::uint32_t openErrorCode = 2;  // ENOENT
  // Held by someone else (a mounted disc, another program): it opens as
  // usual, but taking it exclusively fails with EBUSY.
  bool inUse = false;
  // Linux only. Another program (udev's probe) holds flock on the node: an
  // exclusive lock is refused until lockHeldMs after the first try, or
  // throughout when lockHeldMs is 0.
  bool lockHeld = false;
  std::uint32_t lockHeldMs = 0;
  // Linux only. The node's SCSI generic sibling is open elsewhere, so an
  // exclusive open of it fails with EBUSY.
  bool sgInUse = false;
  // Linux only. The node's transfer limit (the smaller of the queue's
  // max_hw_sectors_kb and max_sectors_kb), in KiB.
  std::uint32_t maxSectorsKb = 512;
  // Shown in open failures; empty derives "\\.\E:" from a letter, else "sim:H:T:L".
  std::string devicePath{};

  // Off only for benchmarks that want the transcript without digesting data.
  bool digestData = true;
};

// How a command ended, before any transport maps it to OS terms.
enum class Completion {
  Done,          // the drive answered; sense tells the outcome
  CallFailed,    // the request never reached the drive; no sense data (an EIO-like failure)
  TimedOut,      // the command did not complete within the time-out; no sense data
  NotAnswering,  // the drive is gone; no sense data (an ENODEV-like failure)
};

// Selects which commands a fault hits. A command matches when every given
// criterion holds; occurrence then picks the k-th matching command (1-based)
// or, when 0, every matching command.
struct FaultTrigger {
  std::uint32_t commandNumber = 0;  // 1-based over the drive's transcript; 0: any
  std::optional<std::uint8_t> opcode{};
  std::optional<std::uint8_t> control{};  // CDB byte 9 (the WRITE BUFFER control byte)
  std::uint32_t occurrence = 0;

  static FaultTrigger OnCommand(std::uint32_t number) { return {.commandNumber = number}; }
  static FaultTrigger OnOpcode(std::uint8_t op) { return {.opcode = op}; }
  static FaultTrigger OnOpcode(std::uint8_t op, std::uint8_t controlByte) {
    return {.opcode = op, .control = controlByte};
  }
  FaultTrigger Nth(std::uint32_t k) const {
    FaultTrigger t = *this;
    t.occurrence = k;
    return t;
  }
};

enum class FaultKind {
  Sense,            // answer with `sense` instead of executing (no data moves, nothing changes)
  CallFailed,       // Completion::CallFailed
  NeverCompletes,   // Completion::TimedOut
  StopsAnswering,   // this and every later command ends NotAnswering, INQUIRY included
  CorruptReadBack,  // READ BUFFER executes, then byte `byteIndex` of the data is flipped (XOR FFh)
  ShortTransfer,    // the command executes but only the first `bytesMoved` bytes cross the bus
  // The command executes, but its completion reaches the host only
  // `lateMilliseconds` later; transports that complete at once ignore it.
  CompletesLate,
};

struct Fault {
  FaultKind kind = FaultKind::Sense;
  FaultTrigger when{};
  SenseTriple sense{};          // for FaultKind::Sense
  std::uint32_t byteIndex = 0;  // for FaultKind::CorruptReadBack, within the transfer
  // For FaultKind::ShortTransfer. Data-in: the host's bytes past it stay as
  // they were. Data-out: the drive sees zeros past it.
  std::uint32_t bytesMoved = 0;
  // For FaultKind::CallFailed: the OS error the call fails with; 0 lets the
  // transport pick its usual one (EIO-like).
  std::uint32_t errorCode = 0;
  std::uint32_t lateMilliseconds = 0;  // for FaultKind::CompletesLate
  // For FaultKind::NeverCompletes: the host aborted it and reset the port, as
  // libata does; its answer then carries sense 0Bh/00h/00h instead of a
  // time-out code.
  bool portReset = false;
};

// Fast 64-bit digest of the bytes a command moved (FNV-1a in four lanes over
// 64-bit words in host order, the tail byte by byte, the length mixed in).
// Tests compute expected values with it.
std::uint64_t Digest(std::span<const std::uint8_t> bytes);

struct TranscriptEntry {
  Cdb cdb{};
  std::uint8_t direction = kDirectionIn;
  std::uint32_t length = 0;          // transfer length the host gave
  std::uint16_t timeOutSeconds = 0;  // module time-out the command ran with
  std::uint32_t moved = 0;           // bytes the drive actually moved
  std::uint64_t dataDigest = 0;      // Digest of the moved bytes (as the host saw them)
  Completion completion = Completion::Done;
  SenseTriple sense{};

  // "3B 05 01 00 40 00 00 40 00 00 00 00 out 16384": CDB, "in"/"out", length.
  std::string Text() const;
  // Text() followed by " -> 00 00 00" (the sense) or " -> call failed",
  // " -> timed out", " -> not answering".
  std::string TextWithResult() const;
};

// The outcome that a transport turns into its own result fields.
struct SimOutcome {
  Completion completion = Completion::Done;
  SenseTriple sense{};
  std::uint32_t moved = 0;
  std::uint32_t errorCode = 0;         // a CallFailed fault's own OS error, else 0
  std::uint32_t lateMilliseconds = 0;  // how long a CompletesLate fault holds the completion back
  bool portReset = false;              // a time-out the host answered by resetting the port
  // NotAnswering while the host still has the device: the command in flight
  // when it went and the next one. Later ones find the device removed.
  bool detaching = false;
};

class SimDrive {
 public:
  explicit SimDrive(DriveConfig config = {});

  // Executes one command. `data` is the host's buffer of `length` bytes (may be
  // null when length is 0); data-in commands fill at most `length` bytes of it.
  SimOutcome Execute(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                     std::uint32_t length, std::uint16_t timeOutSeconds);

  const DriveConfig& Config() const { return config_; }
  std::string DevicePath() const;

  // Faults stay armed until cleared; a fault with occurrence k fires once.
  void InjectFault(const Fault& fault);
  void ClearFaults();
  // Same as a StopsAnswering fault on the next command.
  void StopAnswering() { gone_ = true; }
  bool Answering() const { return !gone_; }

  void SetMediumPresent(bool present) { config_.mediumPresent = present; }

  // Every command the drive received, in order. Clearing restarts the command
  // numbering used by FaultTrigger::OnCommand.
  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }
  std::vector<std::string> TranscriptText() const;
  std::vector<std::string> TranscriptTextWithResults() const;
  void ClearTranscript();

  // Drive-side state for assertions.
  std::span<const std::uint8_t> Dram() const { return dram_; }
  std::span<std::uint8_t> MutableDram() { return dram_; }
  const std::array<std::uint8_t, kEepromSize>& Eeprom() const { return *eeprom_; }
  std::string CurrentRevision() const;
  bool ImageLoaded() const { return imageLoaded_; }  // a control-00h write with data succeeded
  bool CriticalEntered() const { return criticalEntered_; }
  std::uint32_t FlashStarts() const { return flashStarts_; }           // successful flash-starts
  std::uint8_t LastFlashControl() const { return lastFlashControl_; }  // 80h or A0h
  // The last profile write (control 7Fh with data): where it went and its bytes.
  std::optional<std::uint32_t> ProfileOffset() const { return profileOffset_; }
  const std::vector<std::uint8_t>& Profile() const { return profile_; }

 private:
  struct ArmedFault {
    Fault fault;
    std::uint32_t matches = 0;
    bool spent = false;
  };

  const Fault* FireFault(const Cdb& cdb, std::uint32_t number);
  SimOutcome Run(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data, std::uint32_t length);
  SimOutcome Inquiry(const Cdb& cdb, std::uint8_t* data, std::uint32_t length);
  SimOutcome Readiness(std::uint32_t& pollsAnswered);
  SimOutcome ReadCd(std::uint8_t* data, std::uint32_t length);
  SimOutcome WriteBuffer(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                         std::uint32_t length);
  SimOutcome ReadBuffer(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                        std::uint32_t length);
  SimOutcome Vendor(const Cdb& cdb, std::uint8_t* data, std::uint32_t length);
  SimOutcome ShortRun(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                      std::uint32_t length, std::uint32_t bytesMoved);
  SimOutcome CopyIn(std::uint8_t* data, std::uint32_t length, std::span<const std::uint8_t> from);

  DriveConfig config_;
  std::array<std::uint8_t, kInquiryDataLength> inquiry_{};
  std::vector<std::uint8_t> dram_;
  std::unique_ptr<std::array<std::uint8_t, kEepromSize>> eeprom_;
  std::vector<ArmedFault> faults_;
  std::vector<TranscriptEntry> transcript_;
  std::uint32_t turPolls_ = 0;
  std::uint32_t stopPlayPolls_ = 0;
  std::uint32_t afterFlashPolls_ = 0;
  bool gone_ = false;
  std::uint32_t answersSinceGone_ = 0;
  bool imageLoaded_ = false;
  bool criticalEntered_ = false;
  std::uint32_t flashStarts_ = 0;
  std::uint8_t lastFlashControl_ = 0;
  std::optional<std::uint32_t> profileOffset_;
  std::vector<std::uint8_t> profile_;
};

// The drives of one simulated machine, in the order a scan lists them.
// References returned by AddDrive stay valid for the machine's life.
class SimMachine {
 public:
  SimDrive& AddDrive(DriveConfig config = {});
  std::size_t DriveCount() const { return drives_.size(); }
  SimDrive& Drive(std::size_t index) { return *drives_.at(index); }
  // The first drive at that address, or null.
  SimDrive* Find(char letter, std::uint8_t host, std::uint8_t target, std::uint8_t lun);

  // Makes the module set-up of the simulated path fail like a missing ASPI
  // layer would: the construction status, and the error text (empty: no box).
  void FailModuleSetup(std::uint8_t status, std::string errorMessage = {});
  void SucceedModuleSetup() { setupFailure_.reset(); }
  struct SetupFailure {
    std::uint8_t status = 0;
    std::string errorMessage{};
  };
  const std::optional<SetupFailure>& ModuleSetupFailure() const { return setupFailure_; }
  std::uint32_t ModuleSetups() const { return setups_; }
  void CountModuleSetup() { ++setups_; }

 private:
  std::vector<std::unique_ptr<SimDrive>> drives_;
  std::optional<SetupFailure> setupFailure_;
  std::uint32_t setups_ = 0;
};

}  // namespace sim
