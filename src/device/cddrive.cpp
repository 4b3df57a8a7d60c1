#include "device/cddrive.h"

#include <algorithm>
#include <string>

#include "common/fixed_text.h"
#include "common/format_text.h"
#include "common/scsi_opcodes.h"
#include "device/device_messages.h"
#include "device/drive_text.h"
#include "device/module_state.h"
#include "device/platform.h"
#include "device/testing/module_reset.h"
#include "device/transport.h"

namespace {

constexpr std::uint8_t kInquiryAllocation = 128;
constexpr std::size_t kAllocationByte = 4;

void ShowBox(const std::string& text, BoxKind kind) {
  DeviceModule& module = Module();
  if (module.dialogs != nullptr) {
    module.dialogs->ShowMessage(text, kind, BoxButtons::Ok);
  }
}

}  // namespace

DeviceModule& Module() {
  static DeviceModule module;
  return module;
}

TransportPath& ScanPath() {
  DeviceModule& module = Module();
  return module.openCount > 0 && module.path != nullptr ? *module.path : ChooseTransportPath();
}

namespace device_testing {
void ResetModule() {
  DeviceModule& module = Module();
  const std::uint32_t generation = module.generation + 1;
  module = DeviceModule{};
  module.generation = generation;
}
}  // namespace device_testing

CDDrive::CDDrive(char letter, std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun)
    : CDDrive(DriveAddress{letter, hostAdapter, target, lun}) {}

CDDrive::CDDrive(const DriveAddress& address)
    : letter_(address.letter),
      hostAdapter_(address.hostAdapter),
      target_(address.target),
      lun_(address.lun) {
  DeviceModule& module = Module();
  generation_ = module.generation;
  if (module.openCount == 0) {
    module.path = &ChooseTransportPath();
    const PathSetup setup = module.path->Setup();
    if (!setup.ready) {
      if (!setup.errorMessage.empty()) {
        ShowBox(setup.errorMessage, BoxKind::Error);
      }
      module.status = setup.failureStatus;
      return;
    }
    module.buffer = module.internalBuffer.data();
    module.bufferLength = kInternalBufferLength;
  }
  path_ = module.path;

  PathOpen open = path_->Open(address);
  devicePath_ = open.devicePath;
  if (open.handle == nullptr) {
    ReportOpenFailure(open.errorCode, open.notice);
    module.status = kStatusNotOpened;
    return;
  }
  handle_ = std::move(open.handle);

  if (!Identify()) {
    handle_.reset();
    module.status = kStatusNotOpened;
    return;
  }
  module.status = kStatusOpened;
  ++module.openCount;
  opened_ = true;
}

CDDrive::~CDDrive() {
  handle_.reset();
  DeviceModule& module = Module();
  // Every opened drive of this generation was counted, so the count is above 0.
  if (opened_ && generation_ == module.generation) {
    --module.openCount;
  }
}

bool CDDrive::ExecCommand(const DriveCommand& command, SenseAnswer answer) {
  DeviceModule& module = Module();
  std::uint8_t* data = module.identifying ? module.inquiry.data() : module.buffer;
  const std::uint32_t capacity =
      module.identifying ? static_cast<std::uint32_t>(module.inquiry.size()) : module.bufferLength;
  last_ = CommandResult{};

  // A transfer longer than the buffer would let the device write past it.
  if (command.length > capacity || (data == nullptr && command.length > 0)) {
    ShowBox(
        FormatText(kTransferRefusedFormat, command.cdb[0], static_cast<unsigned>(command.length),
                   static_cast<unsigned>(data == nullptr ? 0 : capacity)),
        BoxKind::Plain);
    return false;
  }
  if (generation_ != module.generation) {
    return false;  // the module was reset under this drive; its path may be gone
  }
  if (handle_ == nullptr) {
    ReportSenseError();
    return false;
  }

  handle_->Execute(command, data, module.timeOutSeconds, last_);
  if (path_->CommandCompleted(last_) && last_.senseKey == 0) {
    return true;
  }
  if (answer == SenseAnswer::Nothing ||
      (answer == SenseAnswer::ReadByCaller && last_.senseKey != 0)) {
    return false;  // what the drive answered, or that it did not, is the caller's to judge
  }
  ReportSenseError();
  const std::string notice = handle_->FailureNotice(last_);
  if (!notice.empty()) {
    ShowBox(notice, BoxKind::Plain);
  }
  return false;
}

bool CDDrive::Poll(const DriveCommand& command) {
  return ExecCommand(command, SenseAnswer::Nothing);
}

bool CDDrive::Usable() const { return handle_ != nullptr && generation_ == Module().generation; }

std::string CDDrive::MissingPrivilege() const {
  return Usable() ? handle_->MissingPrivilege() : std::string();
}

std::optional<std::uint32_t> CDDrive::MaxTransferBytes() const {
  return Usable() ? handle_->MaxTransferBytes() : std::nullopt;
}

bool CDDrive::Gone() const { return Usable() && handle_->Gone(); }

bool CDDrive::HoldExclusive() {
  DeviceModule& module = Module();
  if (exclusive_) {
    return true;
  }
  if (handle_ == nullptr || generation_ != module.generation) {
    return false;  // never opened, or its path is gone with a module reset
  }
  const ExclusiveClaim claim = handle_->HoldExclusive();
  if (claim.errorCode == 0) {
    exclusive_ = true;
    return true;
  }
  if (claim.inUse) {
    last_ = CommandResult{};
    last_.errorCode = claim.errorCode;
    // Shown whatever the pop-ups switch says: the user must free the drive.
    const std::string advice = claim.inUseAdvice != nullptr
                                   ? std::string(claim.inUseAdvice)
                                   : FormatText(kUnmountAdviceFormat, devicePath_.c_str());
    ShowBox(FormatText(kInUseFormat, devicePath_.c_str(), advice.c_str()), BoxKind::Plain);
    return false;
  }
  // Any other refusal is a failed open of the drive, and told as one.
  ReportOpenFailure(claim.errorCode, claim.notice);
  return false;
}

void CDDrive::ReportOpenFailure(std::uint32_t errorCode, const std::string& notice) {
  last_ = CommandResult{};
  last_.errorCode = errorCode;
  ShowBox(FormatText(kOpenFailureFormat, static_cast<int>(errorCode), devicePath_.c_str()),
          BoxKind::Plain);
  Module().errorPopUps = true;
  ReportSenseError();
  if (!notice.empty()) {
    ShowBox(notice, BoxKind::Plain);
  }
}

void CDDrive::ReleaseExclusive() {
  if (!exclusive_) {
    return;
  }
  exclusive_ = false;
  if (handle_ != nullptr && generation_ == Module().generation) {
    handle_->ReleaseExclusive();
  }
}

bool CDDrive::SenseIs(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) const {
  return last_.senseKey == key && last_.asc == asc && last_.ascq == ascq;
}

std::string CDDrive::SenseText() const { return FormatSenseText(last_); }

void CDDrive::ReportSenseError() {
  DeviceModule& module = Module();
  if (!module.errorPopUps) {
    return;
  }
  const std::optional<std::string> systemText =
      path_ != nullptr ? path_->SystemErrorText(last_.errorCode) : std::nullopt;
  const int errorCode = static_cast<int>(last_.errorCode);
  ShowBox(systemText ? FormatText(kSenseReportFormat, last_.senseKey, last_.asc, last_.ascq,
                                  last_.status, errorCode, systemText->c_str())
                     : FormatText(kSenseReportNoTextFormat, last_.senseKey, last_.asc, last_.ascq,
                                  last_.status, errorCode),
          BoxKind::Plain);
}

bool CDDrive::Identify() {
  DeviceModule& module = Module();
  // A short answer must not leave another drive's identification behind.
  std::fill_n(module.inquiry.begin(), kInquiryAllocation, 0);
  DriveCommand inquiry;
  inquiry.cdb[0] = scsi::kOpInquiry;
  inquiry.cdb[kAllocationByte] = kInquiryAllocation;
  inquiry.direction = kDirectionIn;
  inquiry.length = kInquiryAllocation;

  module.identifying = true;
  const bool answered = ExecCommand(inquiry);
  module.identifying = false;
  description_ = answered ? DescriptionPrefix(hostAdapter_, target_, lun_, letter_) +
                                InquiryText(module.inquiry)
                          : kFailedDescription;
  return answered;
}

std::string CDDrive::Description() {
  Identify();
  return description_;
}

std::string CDDrive::VendorProduct() const {
  const std::string text =
      DescribedInquiryText(description_, DescriptionPrefix(hostAdapter_, target_, lun_, letter_));
  return fixed_text::RightAligned(text, kVendorProductLength, kVendorProductLength);
}

std::string CDDrive::Revision() const {
  const std::string text =
      DescribedInquiryText(description_, DescriptionPrefix(hostAdapter_, target_, lun_, letter_));
  return fixed_text::RightAligned(
      text.size() > kVendorProductLength ? text.substr(kVendorProductLength) : "", kRevisionLength,
      kRevisionLength);
}

void CDDrive::SetTimeOut(std::uint16_t seconds) { Module().timeOutSeconds = seconds; }
std::uint8_t CDDrive::GetStatus() { return Module().status; }
std::uint8_t* CDDrive::GetBuffer() { return Module().buffer; }
std::uint32_t CDDrive::GetBufferLength() { return Module().bufferLength; }

void CDDrive::SetBuffer(std::uint8_t* buffer, std::uint32_t length) {
  DeviceModule& module = Module();
  if (buffer == nullptr) {
    module.buffer = module.internalBuffer.data();
    module.bufferLength = kInternalBufferLength;
    return;
  }
  module.buffer = buffer;
  module.bufferLength = length;
}

void CDDrive::SetDialogSink(DialogSink* sink) { Module().dialogs = sink; }
