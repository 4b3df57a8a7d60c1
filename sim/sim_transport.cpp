#include "sim/sim_transport.h"

#include <charconv>
#include <cstring>

#include "device/platform.h"
#include "device/testing/module_reset.h"

namespace sim {
namespace {

class SimDeviceHandle : public DeviceHandle {
 public:
  explicit SimDeviceHandle(SimDrive& drive) : drive_(drive) {}

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override {
    const SimOutcome outcome =
        drive_.Execute(command.cdb, command.direction, data, command.length, timeOutSeconds);
    result = CommandResult{};
    switch (outcome.completion) {
      case Completion::Done:
        result.callSucceeded = true;
        result.senseKey = outcome.sense.key;
        result.asc = outcome.sense.asc;
        result.ascq = outcome.sense.ascq;
        result.status = outcome.sense == kSenseNone ? kSimStatusGood : kSimStatusCheckCondition;
        result.transferred = outcome.moved;
        break;
      case Completion::CallFailed:
        result.errorCode = outcome.errorCode != 0 ? outcome.errorCode : kSimErrorCallFailed;
        break;
      case Completion::TimedOut:
        result.errorCode = kSimErrorTimedOut;
        break;
      case Completion::NotAnswering:
        result.errorCode = kSimErrorGone;
        break;
    }
  }

  ExclusiveClaim HoldExclusive() override {
    if (drive_.Config().inUse) return {.errorCode = kSimErrorBusy, .inUse = true};
    return {};
  }

 private:
  SimDrive& drive_;
};

}  // namespace

PathSetup SimTransportPath::Setup() {
  machine_.CountModuleSetup();
  const auto& failure = machine_.ModuleSetupFailure();
  if (!failure) {
    return {};
  }
  return {.ready = false, .failureStatus = failure->status, .errorMessage = failure->errorMessage};
}

std::vector<DriveAddress> SimTransportPath::Candidates() {
  std::vector<DriveAddress> addresses;
  for (std::size_t i = 0; i < machine_.DriveCount(); ++i) {
    const DriveConfig& c = machine_.Drive(i).Config();
    // The drive's place in the machine, so that two drives the numbers do not
    // tell apart (other channels) are each opened as themselves.
    addresses.push_back({c.letter, c.host, c.target, c.lun, std::to_string(i)});
  }
  return addresses;
}

PathOpen SimTransportPath::Open(const DriveAddress& address) {
  SimDrive* drive = nullptr;
  std::size_t index = 0;
  const char* end = address.node.data() + address.node.size();
  if (address.node.empty()) {
    drive = machine_.Find(address.letter, address.hostAdapter, address.target, address.lun);
  } else if (std::from_chars(address.node.data(), end, index).ptr == end &&
             index < machine_.DriveCount()) {
    drive = &machine_.Drive(index);
  }
  if (drive == nullptr) {
    return {.errorCode = kSimErrorGone,
            .devicePath = "sim:" + std::to_string(address.hostAdapter) + ":" +
                          std::to_string(address.target) + ":" + std::to_string(address.lun)};
  }
  if (!drive->Config().openable) {
    return {.errorCode = drive->Config().openErrorCode, .devicePath = drive->DevicePath()};
  }
  return {.handle = std::make_unique<SimDeviceHandle>(*drive), .devicePath = drive->DevicePath()};
}

std::optional<std::string> SimTransportPath::SystemErrorText(std::uint32_t errorCode) {
  return std::string(std::strerror(static_cast<int>(errorCode)));
}

ScopedSimTransport::ScopedSimTransport(SimMachine& machine) : path_(machine) {
  device_testing::ResetModule();
  InstallTransportPath(&path_);
}

ScopedSimTransport::~ScopedSimTransport() {
  InstallTransportPath(nullptr);
  device_testing::ResetModule();
}

}  // namespace sim
