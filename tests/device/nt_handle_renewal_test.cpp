// A handle the drive's restart left dead is opened again once, and only an
// INQUIRY is asked again through the new one.
#include "device/nt_handle_renewal.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/scsi_opcodes.h"

namespace {

constexpr std::uint32_t kNotReady = 21;

class RecordingDevice : public RenewableDevice {
 public:
  std::deque<std::uint32_t> errors;  // one per Send, 0 succeeds; empty: all succeed
  bool reopens = true;
  std::vector<std::string> calls;

  void Send(const DriveCommand& command, std::uint8_t*, std::uint16_t,
            CommandResult& result) override {
    calls.push_back("send " + std::to_string(command.cdb[0]));
    result = CommandResult{};
    const std::uint32_t error = errors.empty() ? 0 : errors.front();
    if (!errors.empty()) errors.pop_front();
    result.callSucceeded = error == 0;
    result.errorCode = error;
  }
  bool Reopen() override {
    calls.push_back("reopen");
    return reopens;
  }
};

DriveCommand Command(std::uint8_t opcode) {
  DriveCommand command;
  command.cdb[0] = opcode;
  return command;
}

const std::string kInquiry = "send " + std::to_string(scsi::kOpInquiry);
const std::string kWriteBuffer = "send " + std::to_string(scsi::kOpWriteBuffer);

struct RenewalCase {
  const char* name;
  std::deque<std::uint32_t> errors;  // what each send fails with
  std::vector<std::string> calls;
  std::uint32_t errorCode;  // of the final result
  std::uint8_t opcode = scsi::kOpInquiry;
  bool reopens = true;
};

void PrintTo(const RenewalCase& c, std::ostream* os) { *os << c.name; }

const RenewalCase kCases[] = {
    {.name = "AnsweredAtOnce", .errors = {0}, .calls = {kInquiry}, .errorCode = 0},
    {.name = "InquiryAfterMediaChangedIsAskedAgain",
     .errors = {kNtErrorMediaChanged, 0},
     .calls = {kInquiry, "reopen", kInquiry},
     .errorCode = 0},
    {.name = "InquiryAfterInvalidHandleIsAskedAgain",
     .errors = {kNtErrorInvalidHandle, 0},
     .calls = {kInquiry, "reopen", kInquiry},
     .errorCode = 0},
    {.name = "OnlyOnceWhenTheNewHandleFailsToo",
     .errors = {kNtErrorDeviceRemoved, kNtErrorDeviceRemoved},
     .calls = {kInquiry, "reopen", kInquiry},
     .errorCode = kNtErrorDeviceRemoved},
    {.name = "NotAskedAgainWhenTheDriveCannotBeOpened",
     .errors = {kNtErrorDeviceRemoved},
     .calls = {kInquiry, "reopen"},
     .errorCode = kNtErrorDeviceRemoved,
     .reopens = false},
    {.name = "AWriteIsNeverSentTwice",
     .errors = {kNtErrorMediaChanged},
     .calls = {kWriteBuffer, "reopen"},
     .errorCode = kNtErrorMediaChanged,
     .opcode = scsi::kOpWriteBuffer},
    {.name = "OtherFailuresKeepTheHandle",
     .errors = {kNotReady},
     .calls = {kInquiry},
     .errorCode = kNotReady},
};

class HandleRenewalTest : public ::testing::TestWithParam<RenewalCase> {};

TEST_P(HandleRenewalTest, ReopensOnceAndRepeatsOnlyAnInquiry) {
  const RenewalCase& c = GetParam();
  RecordingDevice device;
  device.errors = c.errors;
  device.reopens = c.reopens;
  CommandResult result;
  SendRenewing(device, Command(c.opcode), nullptr, 60, result);
  EXPECT_EQ(device.calls, c.calls);
  EXPECT_EQ(result.errorCode, c.errorCode);
  EXPECT_EQ(result.callSucceeded, c.errorCode == 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, HandleRenewalTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
