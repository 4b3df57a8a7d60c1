#include "sim/sim_drive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/scsi_opcodes.h"

namespace sim {
namespace {

using scsi::kOpInquiry;
using scsi::kOpReadBuffer;
using scsi::kOpReadCd;
using scsi::kOpStartStopUnit;
using scsi::kOpStopPlayScan;
using scsi::kOpTestUnitReady;
using scsi::kOpVendorFlash;
using scsi::kOpVendorSerial;
using scsi::kOpWriteBuffer;

// An unplugged USB drive fails the command in flight and the next one while
// the host still has it; then the kernel removes the device.
constexpr std::uint32_t kDetachingAnswers = 2;
constexpr std::uint8_t kSubReadFlashId = 0x11;
constexpr std::uint8_t kSubEepromWrite = 0x0A;
constexpr std::uint8_t kSubSerialPort = 0x04;

constexpr std::uint8_t kWriteBufferMode = 0x05;
constexpr std::uint8_t kReadBufferMode = 0x01;
constexpr std::uint8_t kBufferId = 0x01;
constexpr std::uint8_t kControlData = 0x00;
constexpr std::uint8_t kControlProfile = 0x7F;
constexpr std::uint8_t kControlFlashStart = 0x80;
constexpr std::uint8_t kControlFlashAll = 0xA0;
constexpr std::size_t kControlByte = 9;

constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kVendorLength = 8;
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kProductLength = 16;
constexpr std::size_t kRevisionOffset = 32;
constexpr std::size_t kRevisionLength = 4;
constexpr std::uint8_t kPeripheralCdDvd = 0x05;
constexpr std::uint8_t kRemovableMedium = 0x80;
constexpr std::uint8_t kResponseFormat = 0x02;
constexpr std::uint8_t kAdditionalLength = 0x1F;  // a standard 36-byte answer
constexpr std::size_t kCdBlockLength = 2048;

constexpr std::uint8_t kErasedByte = 0xFF;
constexpr std::uint8_t kCorruptionMask = 0xFF;

constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

std::uint32_t Field24(const Cdb& cdb, std::size_t first) {
  return (std::uint32_t{cdb[first]} << 16) | (std::uint32_t{cdb[first + 1]} << 8) |
         std::uint32_t{cdb[first + 2]};
}

void PutPadded(std::uint8_t* at, std::size_t width, const std::string& text) {
  std::fill_n(at, width, ' ');
  std::copy_n(text.begin(), std::min(width, text.size()), at);
}

bool Fits(std::uint32_t offset, std::uint32_t length, std::size_t size) {
  return std::uint64_t{offset} + length <= size;
}

SimOutcome Answer(SenseTriple sense) { return {Completion::Done, sense, 0}; }

std::string HexBytes(const Cdb& cdb) {
  std::string text;
  char piece[4];
  for (std::size_t i = 0; i < cdb.size(); ++i) {
    std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", cdb[i]);
    text += piece;
  }
  return text;
}

}  // namespace

std::uint64_t Digest(std::span<const std::uint8_t> bytes) {
  // Independent lanes keep the multiplications from waiting on each other, so
  // digesting a 16 KiB piece costs about as much as copying it.
  constexpr std::size_t kLanes = 4;
  constexpr std::size_t kWord = sizeof(std::uint64_t);
  std::array<std::uint64_t, kLanes> lanes{};
  for (std::size_t k = 0; k < kLanes; ++k) {
    lanes[k] = kFnvOffsetBasis ^ k;
  }
  std::size_t i = 0;
  for (; i + kLanes * kWord <= bytes.size(); i += kLanes * kWord) {
    for (std::size_t k = 0; k < kLanes; ++k) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + i + k * kWord, kWord);
      lanes[k] = (lanes[k] ^ word) * kFnvPrime;
    }
  }
  std::uint64_t hash = lanes[0];
  for (; i < bytes.size(); ++i) {
    hash = (hash ^ bytes[i]) * kFnvPrime;
  }
  for (std::size_t k = 1; k < kLanes; ++k) {
    hash = (hash ^ lanes[k]) * kFnvPrime;
  }
  return (hash ^ bytes.size()) * kFnvPrime;
}

std::string TranscriptEntry::Text() const {
  return HexBytes(cdb) + (direction == kDirectionIn ? " in " : " out ") + std::to_string(length);
}

std::string TranscriptEntry::TextWithResult() const {
  switch (completion) {
    case Completion::CallFailed:
      return Text() + " -> call failed";
    case Completion::TimedOut:
      return Text() + " -> timed out";
    case Completion::NotAnswering:
      return Text() + " -> not answering";
    case Completion::Done:
      break;
  }
  char triple[16];
  std::snprintf(triple, sizeof triple, " -> %02X %02X %02X", sense.key, sense.asc, sense.ascq);
  return Text() + triple;
}

SimDrive::SimDrive(DriveConfig config)
    : config_(std::move(config)),
      dram_(config_.dramSize),
      eeprom_(std::make_unique<std::array<std::uint8_t, kEepromSize>>()) {
  eeprom_->fill(kErasedByte);
  if (!config_.rawInquiry.empty()) {
    std::copy_n(config_.rawInquiry.begin(), std::min(inquiry_.size(), config_.rawInquiry.size()),
                inquiry_.begin());
    return;
  }
  inquiry_[0] = kPeripheralCdDvd;
  inquiry_[1] = kRemovableMedium;
  inquiry_[3] = kResponseFormat;
  inquiry_[4] = kAdditionalLength;
  PutPadded(&inquiry_[kVendorOffset], kVendorLength, config_.vendor);
  PutPadded(&inquiry_[kProductOffset], kProductLength, config_.product);
  PutPadded(&inquiry_[kRevisionOffset], kRevisionLength, config_.revision);
}

std::string SimDrive::DevicePath() const {
  if (!config_.devicePath.empty()) {
    return config_.devicePath;
  }
  if (config_.letter != ' ') {
    return std::string("\\\\.\\") + config_.letter + ":";
  }
  return "sim:" + std::to_string(config_.host) + ":" + std::to_string(config_.target) + ":" +
         std::to_string(config_.lun);
}

std::string SimDrive::CurrentRevision() const {
  return std::string(reinterpret_cast<const char*>(&inquiry_[kRevisionOffset]), kRevisionLength);
}

void SimDrive::InjectFault(const Fault& fault) { faults_.push_back({fault}); }

void SimDrive::ClearFaults() { faults_.clear(); }

void SimDrive::ClearTranscript() { transcript_.clear(); }

std::vector<std::string> SimDrive::TranscriptText() const {
  std::vector<std::string> lines;
  lines.reserve(transcript_.size());
  for (const TranscriptEntry& entry : transcript_) {
    lines.push_back(entry.Text());
  }
  return lines;
}

std::vector<std::string> SimDrive::TranscriptTextWithResults() const {
  std::vector<std::string> lines;
  lines.reserve(transcript_.size());
  for (const TranscriptEntry& entry : transcript_) {
    lines.push_back(entry.TextWithResult());
  }
  return lines;
}

const Fault* SimDrive::FireFault(const Cdb& cdb, std::uint32_t number) {
  const Fault* fired = nullptr;
  for (ArmedFault& armed : faults_) {
    const FaultTrigger& when = armed.fault.when;
    if (armed.spent || (when.commandNumber != 0 && when.commandNumber != number) ||
        (when.opcode && *when.opcode != cdb[0]) ||
        (when.control && *when.control != cdb[kControlByte])) {
      continue;
    }
    ++armed.matches;
    const bool fires = when.occurrence == 0 || armed.matches == when.occurrence;
    if (when.occurrence != 0 && fires) {
      armed.spent = true;
    }
    if (fires && fired == nullptr) {
      fired = &armed.fault;
    }
  }
  return fired;
}

SimOutcome SimDrive::Execute(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                             std::uint32_t length, std::uint16_t timeOutSeconds) {
  const auto number = static_cast<std::uint32_t>(transcript_.size() + 1);
  SimOutcome outcome;
  const Fault* fault = gone_ ? nullptr : FireFault(cdb, number);
  if (gone_) {
    outcome.completion = Completion::NotAnswering;
    outcome.detaching = ++answersSinceGone_ < kDetachingAnswers;
  } else if (fault == nullptr) {
    outcome = Run(cdb, direction, data, length);
  } else {
    switch (fault->kind) {
      case FaultKind::Sense:
        outcome = Answer(fault->sense);
        break;
      case FaultKind::CallFailed:
        outcome.completion = Completion::CallFailed;
        outcome.errorCode = fault->errorCode;
        break;
      case FaultKind::NeverCompletes:
        outcome.completion = Completion::TimedOut;
        outcome.portReset = fault->portReset;
        break;
      case FaultKind::StopsAnswering:
        gone_ = true;
        answersSinceGone_ = 0;
        outcome.completion = Completion::NotAnswering;
        outcome.detaching = true;
        break;
      case FaultKind::CorruptReadBack:
        outcome = Run(cdb, direction, data, length);
        if (direction == kDirectionIn && fault->byteIndex < outcome.moved) {
          data[fault->byteIndex] ^= kCorruptionMask;
        }
        break;
      case FaultKind::ShortTransfer:
        outcome = ShortRun(cdb, direction, data, length, fault->bytesMoved);
        break;
      case FaultKind::CompletesLate:
        outcome = Run(cdb, direction, data, length);
        outcome.lateMilliseconds = fault->lateMilliseconds;
        break;
    }
  }

  TranscriptEntry& entry = transcript_.emplace_back();
  entry.cdb = cdb;
  entry.direction = direction;
  entry.length = length;
  entry.timeOutSeconds = timeOutSeconds;
  entry.moved = outcome.moved;
  entry.completion = outcome.completion;
  entry.sense = outcome.sense;
  entry.dataDigest =
      config_.digestData && data != nullptr ? Digest({data, outcome.moved}) : Digest({});
  return outcome;
}

SimOutcome SimDrive::Run(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                         std::uint32_t length) {
  // Data-in commands cannot deliver their answer into a data-out transfer.
  const bool dataInRefused = direction != kDirectionIn && length > 0;
  switch (cdb[0]) {
    case kOpInquiry:
      return dataInRefused ? Answer(kSenseInvalidField) : Inquiry(cdb, data, length);
    case kOpTestUnitReady:
      if (flashStarts_ > 0 && afterFlashPolls_ < config_.becomingReadyAfterFlash) {
        ++afterFlashPolls_;
        return Answer(kSenseBecomingReady);
      }
      return Readiness(turPolls_);
    case kOpStopPlayScan:
      return Readiness(stopPlayPolls_);
    case kOpStartStopUnit:
      return Answer(kSenseNone);
    case kOpReadCd:
      return dataInRefused ? Answer(kSenseInvalidField) : ReadCd(data, length);
    case kOpWriteBuffer:
      return WriteBuffer(cdb, direction, data, length);
    case kOpReadBuffer:
      return ReadBuffer(cdb, direction, data, length);
    case kOpVendorFlash:
    case kOpVendorSerial:
      return dataInRefused ? Answer(kSenseInvalidField) : Vendor(cdb, data, length);
    default:
      return Answer(kSenseInvalidOpcode);
  }
}

SimOutcome SimDrive::ShortRun(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                              std::uint32_t length, std::uint32_t bytesMoved) {
  // The drive works on its own copy so that what did not cross the bus never
  // reaches the other side.
  const std::uint32_t crossing = std::min(length, bytesMoved);
  std::vector<std::uint8_t> staged(length, 0);
  if (direction != kDirectionIn && crossing > 0) {
    std::memcpy(staged.data(), data, crossing);
  }
  SimOutcome outcome = Run(cdb, direction, staged.empty() ? nullptr : staged.data(), length);
  outcome.moved = std::min(outcome.moved, crossing);
  if (direction == kDirectionIn && outcome.moved > 0) {
    std::memcpy(data, staged.data(), outcome.moved);
  }
  return outcome;
}

SimOutcome SimDrive::CopyIn(std::uint8_t* data, std::uint32_t length,
                            std::span<const std::uint8_t> from) {
  const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(length, from.size()));
  if (count > 0) {
    std::memcpy(data, from.data(), count);
  }
  return {Completion::Done, kSenseNone, count};
}

SimOutcome SimDrive::Inquiry(const Cdb& cdb, std::uint8_t* data, std::uint32_t length) {
  const std::size_t allocation = (std::size_t{cdb[3]} << 8) | cdb[4];
  return CopyIn(data, length, std::span(inquiry_).first(std::min(allocation, inquiry_.size())));
}

SimOutcome SimDrive::Readiness(std::uint32_t& pollsAnswered) {
  if (config_.becomingReadyPolls == kNeverReady || pollsAnswered < config_.becomingReadyPolls) {
    if (pollsAnswered < kNeverReady) {
      ++pollsAnswered;
    }
    return Answer(kSenseBecomingReady);
  }
  return Answer(config_.mediumPresent ? kSenseNone : kSenseNoMedium);
}

SimOutcome SimDrive::ReadCd(std::uint8_t* data, std::uint32_t length) {
  if (!config_.mediumPresent) {
    return Answer(kSenseNoMedium);
  }
  static constexpr std::array<std::uint8_t, kCdBlockLength> kBlankBlock{};
  return CopyIn(data, length, kBlankBlock);
}

SimOutcome SimDrive::WriteBuffer(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                                 std::uint32_t length) {
  if (cdb[1] != kWriteBufferMode || cdb[2] != kBufferId) {
    return Answer(kSenseInvalidField);
  }
  const std::uint32_t offset = Field24(cdb, 3);
  const std::uint32_t count = Field24(cdb, 6);
  const std::uint8_t control = cdb[kControlByte];

  if (control == kControlFlashStart || control == kControlFlashAll) {
    if (!imageLoaded_) {
      return Answer(kSenseSequenceError);
    }
    if (direction != kDirectionIn && length > 0) {
      return Answer(kSenseInvalidField);
    }
    ++flashStarts_;
    afterFlashPolls_ = 0;
    lastFlashControl_ = control;
    if (!config_.revisionAfterFlash.empty()) {
      PutPadded(&inquiry_[kRevisionOffset], kRevisionLength, config_.revisionAfterFlash);
    }
    static constexpr std::array<std::uint8_t, kFlashStartAnswerLength> kAnswer{};
    return CopyIn(data, length, kAnswer);
  }
  if (control == kControlProfile && count == 0) {
    criticalEntered_ = true;
    return Answer(kSenseNone);
  }
  if (control != kControlData && control != kControlProfile) {
    return Answer(kSenseInvalidField);
  }
  // The drive takes exactly the bytes its CDB announces; a host that moves a
  // different amount has built a broken command.
  if ((count > 0 && direction == kDirectionIn) || count != length ||
      !Fits(offset, count, dram_.size())) {
    return Answer(kSenseInvalidField);
  }
  if (count > 0) {
    std::memcpy(&dram_[offset], data, count);
  }
  if (control == kControlProfile) {
    profileOffset_ = offset;
    profile_.assign(data, data + count);
  } else if (count > 0) {
    imageLoaded_ = true;
  }
  return {Completion::Done, kSenseNone, count};
}

SimOutcome SimDrive::ReadBuffer(const Cdb& cdb, std::uint8_t direction, std::uint8_t* data,
                                std::uint32_t length) {
  if (cdb[1] != kReadBufferMode || cdb[2] != kBufferId) {
    return Answer(kSenseInvalidField);
  }
  const std::uint32_t offset = Field24(cdb, 3);
  const std::uint32_t count = Field24(cdb, 6);
  if ((count > 0 && direction != kDirectionIn) || count != length ||
      !Fits(offset, count, dram_.size())) {
    return Answer(kSenseInvalidField);
  }
  return CopyIn(data, length, std::span(dram_).subspan(offset, count));
}

SimOutcome SimDrive::Vendor(const Cdb& cdb, std::uint8_t* data, std::uint32_t length) {
  if (cdb[0] == kOpVendorSerial) {
    return Answer(cdb[1] == kSubSerialPort ? config_.serialPortAnswer : kSenseInvalidField);
  }
  if (cdb[1] == kSubReadFlashId) {
    std::array<std::uint8_t, kFlashIdLength> answer{};
    std::copy(config_.flashChipId.begin(), config_.flashChipId.end(), answer.begin());
    return CopyIn(data, length, answer);
  }
  if (cdb[1] == kSubEepromWrite) {
    const std::size_t address = (std::size_t{cdb[7]} << 8) | cdb[8];
    (*eeprom_)[address] = cdb[kControlByte];
    return Answer(kSenseNone);
  }
  return Answer(kSenseInvalidField);
}

SimDrive& SimMachine::AddDrive(DriveConfig config) {
  drives_.push_back(std::make_unique<SimDrive>(std::move(config)));
  return *drives_.back();
}

SimDrive* SimMachine::Find(char letter, std::uint8_t host, std::uint8_t target, std::uint8_t lun) {
  for (const auto& drive : drives_) {
    const DriveConfig& c = drive->Config();
    if (c.letter == letter && c.host == host && c.target == target && c.lun == lun) {
      return drive.get();
    }
  }
  return nullptr;
}

void SimMachine::FailModuleSetup(std::uint8_t status, std::string errorMessage) {
  setupFailure_ = SetupFailure{status, std::move(errorMessage)};
}

}  // namespace sim
