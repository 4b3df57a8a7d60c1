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
  std::uint8_t opcode;
  std::deque<std::uint32_t> errors;
  bool reopens;
  std::vector<std::string> calls;
  std::uint32_t errorCode;  // of the final result
};

void PrintTo(const RenewalCase& c, std::ostream* os) { *os << c.name; }

const RenewalCase kCases[] = {
    {"AnsweredAtOnce", scsi::kOpInquiry, {0}, true, {kInquiry}, 0},
    {"InquiryAfterMediaChangedIsAskedAgain",
     scsi::kOpInquiry,
     {kNtErrorMediaChanged, 0},
     true,
     {kInquiry, "reopen", kInquiry},
     0},
    {"InquiryAfterInvalidHandleIsAskedAgain",
     scsi::kOpInquiry,
     {kNtErrorInvalidHandle, 0},
     true,
     {kInquiry, "reopen", kInquiry},
     0},
    {"OnlyOnceWhenTheNewHandleFailsToo",
     scsi::kOpInquiry,
     {kNtErrorDeviceRemoved, kNtErrorDeviceRemoved},
     true,
     {kInquiry, "reopen", kInquiry},
     kNtErrorDeviceRemoved},
    {"NotAskedAgainWhenTheDriveCannotBeOpened",
     scsi::kOpInquiry,
     {kNtErrorDeviceRemoved},
     false,
     {kInquiry, "reopen"},
     kNtErrorDeviceRemoved},
    {"AWriteIsNeverSentTwice",
     scsi::kOpWriteBuffer,
     {kNtErrorMediaChanged},
     true,
     {kWriteBuffer, "reopen"},
     kNtErrorMediaChanged},
    {"OtherFailuresKeepTheHandle", scsi::kOpInquiry, {kNotReady}, true, {kInquiry}, kNotReady},
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
