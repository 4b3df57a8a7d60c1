#include "device/aspi_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "device/drive_text.h"

namespace {

struct PrepareCase {
  const char* name;
  std::uint8_t direction;
  std::uint32_t length;
  std::uint8_t flags;
};

class AspiPrepareTest : public testing::TestWithParam<PrepareCase> {};

TEST_P(AspiPrepareTest, FillsEveryFieldAndZeroesTheRest) {
  const PrepareCase& c = GetParam();
  DriveCommand command;
  command.cdb = {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x80, 0x0A, 0x0B};
  command.direction = c.direction;
  command.length = c.length;
  std::array<std::uint8_t, 4> data{};
  int event = 0;

  aspi::ExecScsiCommand request;
  std::memset(&request, 0xAA, sizeof request);  // whatever the last command left
  PrepareAspiRequest(request, command, {' ', 12, 1, 0}, data.data(), &event);

  // The request is packed: its wider fields are copied out before a
  // comparison binds a reference to them.
  const auto hdrReserved = request.SRB_Hdr_Rsvd;
  const auto bufLen = request.SRB_BufLen;
  const auto bufPointer = request.SRB_BufPointer;
  const auto postProc = request.SRB_PostProc;
  EXPECT_EQ(request.SRB_Cmd, 2);
  EXPECT_EQ(request.SRB_Status, 0);
  EXPECT_EQ(request.SRB_HaId, 12);
  EXPECT_EQ(request.SRB_Flags, c.flags);
  EXPECT_EQ(hdrReserved, 0u);
  EXPECT_EQ(request.SRB_Target, 1);
  EXPECT_EQ(request.SRB_Lun, 0);
  EXPECT_EQ(bufLen, c.length);
  EXPECT_EQ(bufPointer, data.data());
  EXPECT_EQ(request.SRB_SenseLen, 14);
  EXPECT_EQ(request.SRB_CDBLen, 12);
  EXPECT_EQ(request.SRB_HaStat, 0);
  EXPECT_EQ(request.SRB_TargStat, 0);
  EXPECT_EQ(postProc, static_cast<void*>(&event));
  EXPECT_EQ(0, std::memcmp(request.CDBByte, command.cdb.data(), command.cdb.size()));
  const std::array<std::uint8_t, 4> cdbTail{};
  EXPECT_EQ(0, std::memcmp(request.CDBByte + 12, cdbTail.data(), cdbTail.size()));
  for (std::uint8_t byte : request.SRB_Rsvd2) EXPECT_EQ(byte, 0);
  for (std::uint8_t byte : request.SenseArea) EXPECT_EQ(byte, 0);
}

INSTANTIATE_TEST_SUITE_P(Directions, AspiPrepareTest,
                         testing::Values(PrepareCase{"DataIn", 1, 128, 0x48},
                                         // A command without data keeps its direction.
                                         PrepareCase{"NoDataIn", 1, 0, 0x48},
                                         PrepareCase{"DataOut", 0, 16384, 0x50},
                                         // Any direction but 1 moves data to the drive.
                                         PrepareCase{"OtherDirection", 7, 16, 0x50}),
                         [](const testing::TestParamInfo<PrepareCase>& info) {
                           return std::string(info.param.name);
                         });

struct ResultCase {
  const char* name;
  std::uint8_t srbStatus;
  std::array<std::uint8_t, 14> senseArea;
  bool completed;
  const char* senseText;
};

constexpr std::array<std::uint8_t, 14> FixedSense(std::uint8_t key, std::uint8_t asc,
                                                  std::uint8_t ascq,
                                                  std::uint8_t responseCode = 0x70) {
  return {responseCode, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq};
}

class AspiResultTest : public testing::TestWithParam<ResultCase> {};

TEST_P(AspiResultTest, TakesStatusAndSenseFromTheRequest) {
  const ResultCase& c = GetParam();
  aspi::ExecScsiCommand request{};
  request.SRB_Status = c.srbStatus;
  std::copy(c.senseArea.begin(), c.senseArea.end(), request.SenseArea);
  CommandResult result;
  result.errorCode = 5;  // from an earlier command

  RecordAspiResult(request, result);
  EXPECT_EQ(result.callSucceeded, c.completed);
  EXPECT_EQ(FormatSenseText(result), c.senseText);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AspiResultTest,
    testing::Values(
        ResultCase{"Good", 0x01, {}, true, "00 00 00. 01, 0000"},
        ResultCase{"CheckCondition", 0x04, FixedSense(0x05, 0x24, 0x00), false,
                   "05 24 00. 04, 0000"},
        // The key byte is taken whole: ILI with sense key 0 stays 20h.
        ResultCase{"IliOnly", 0x01, FixedSense(0x20, 0, 0), true, "20 00 00. 01, 0000"},
        ResultCase{"AscOnly", 0x01, FixedSense(0x00, 0x5D, 0x00), true, "00 5D 00. 01, 0000"},
        // Without a response code the fixed-format positions still count.
        ResultCase{"NoResponseCode", 0x04, FixedSense(0x02, 0x3A, 0x00, 0x00), false,
                   "02 3A 00. 04, 0000"},
        // Descriptor format keeps key, ASC and ASCQ in bytes 1 to 3.
        ResultCase{"Descriptor", 0x04, {0x72, 0x03, 0x0C, 0x00}, false, "03 0C 00. 04, 0000"},
        ResultCase{"NoDevice", 0x82, {}, false, "00 00 00. 82, 0000"}),
    [](const testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

// ASPI gives no residual count: a data over- or underrun is the adapter's
// only word that the buffer holds other bytes than the drive's answer.
TEST(AspiResultTest, AnOverOrUnderrunFailsEveryCommandButInquiry) {
  struct Case {
    std::uint8_t opcode;
    std::uint8_t hostStatus;
    bool completed;
    const char* senseText;
  };
  const Case cases[] = {
      {0x3C, aspi::kHostDataOverUnderrun, false, "00 00 00. 01, 045D"},  // READ BUFFER
      {0xDF, aspi::kHostDataOverUnderrun, false, "00 00 00. 01, 045D"},  // vendor read
      // A drive may answer INQUIRY with less than its allocation length.
      {0x12, aspi::kHostDataOverUnderrun, true, "00 00 00. 01, 0000"},
      {0x3C, 0x00, true, "00 00 00. 01, 0000"},
  };
  for (const Case& c : cases) {
    aspi::ExecScsiCommand request{};
    request.SRB_Status = aspi::kStatusComplete;
    request.SRB_HaStat = c.hostStatus;
    request.CDBByte[0] = c.opcode;
    CommandResult result;
    RecordAspiResult(request, result);
    EXPECT_EQ(result.callSucceeded, c.completed) << int{c.opcode};
    EXPECT_EQ(FormatSenseText(result), c.senseText) << int{c.opcode};
  }
}

TEST(AspiTimeOutTest, LeavesNoSenseAndNamesTheTimeOut) {
  CommandResult result;
  result.senseKey = 0x05;
  result.status = 0x04;
  RecordAspiTimeOut(1460, result);
  EXPECT_FALSE(result.callSucceeded);
  EXPECT_EQ(FormatSenseText(result), "00 00 00. 00, 05B4");
}

}  // namespace
