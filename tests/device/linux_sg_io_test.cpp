#include "device/linux_sg_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace {

struct DirectionCase {
  std::uint8_t direction;
  std::uint32_t length;
  int expected;
};

TEST(SgIoRequest, FillsHeaderFromCommandAndModuleTimeOut) {
  std::array<std::uint8_t, 64> data{};
  const std::vector<DirectionCase> cases = {
      {kDirectionIn, 128, SG_DXFER_FROM_DEV},
      {kDirectionOut, 16384, SG_DXFER_TO_DEV},
      {7, 4, SG_DXFER_TO_DEV},
      {kDirectionIn, 0, SG_DXFER_NONE},
      {kDirectionOut, 0, SG_DXFER_NONE},
  };
  for (const DirectionCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "direction " << int{c.direction} << " length " << c.length);
    DriveCommand command;
    command.cdb = {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x0C};
    command.direction = c.direction;
    command.length = c.length;
    SgIoExchange exchange;
    exchange.sense.fill(0xEE);
    PrepareSgIo(exchange, command, data.data(), 180);

    const sg_io_hdr_t& h = exchange.header;
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, c.expected);
    EXPECT_EQ(h.dxfer_len, c.length);
    EXPECT_EQ(h.dxferp, c.length ? data.data() : nullptr);
    EXPECT_EQ(h.cmd_len, 12);
    EXPECT_EQ(std::vector<std::uint8_t>(h.cmdp, h.cmdp + 12),
              std::vector<std::uint8_t>(command.cdb.begin(), command.cdb.end()));
    EXPECT_EQ(h.sbp, exchange.sense.data());
    EXPECT_GE(h.mx_sb_len, 32);
    EXPECT_EQ(exchange.sense[0], 0) << "stale sense must not survive into the next command";
    EXPECT_EQ(h.timeout, 180000u);
  }
}

struct ResultCase {
  const char* name;
  int ioctlError;
  std::uint8_t status;
  std::uint16_t hostStatus;
  std::uint16_t driverStatus;
  std::vector<std::uint8_t> sense;
  bool callSucceeded;
  std::uint8_t key, asc, ascq;
  std::uint32_t errorCode;
};

std::vector<std::uint8_t> Fixed(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::vector<std::uint8_t> s(18, 0);
  s[0] = 0x70;
  s[2] = key;
  s[7] = 10;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

class SgIoResultTest : public ::testing::TestWithParam<ResultCase> {};

TEST_P(SgIoResultTest, MapsHeaderAndSenseToTheLastResult) {
  const ResultCase& c = GetParam();
  SgIoExchange exchange;
  DriveCommand command;
  PrepareSgIo(exchange, command, nullptr, 60);
  std::copy(c.sense.begin(), c.sense.end(), exchange.sense.begin());
  exchange.header.sb_len_wr = static_cast<unsigned char>(c.sense.size());
  exchange.header.status = c.status;
  exchange.header.host_status = c.hostStatus;
  exchange.header.driver_status = c.driverStatus;

  CommandResult result;
  result.errorCode = 99;  // every field must be overwritten
  RecordSgIoResult(exchange, c.ioctlError, result);
  EXPECT_EQ(result.callSucceeded, c.callSucceeded);
  EXPECT_EQ(result.senseKey, c.key);
  EXPECT_EQ(result.asc, c.asc);
  EXPECT_EQ(result.ascq, c.ascq);
  EXPECT_EQ(result.errorCode, c.errorCode);
  EXPECT_EQ(result.status, c.ioctlError ? 0 : c.status);
}

const std::vector<std::uint8_t> kDescriptorIli = {0x72, 0x00, 0x00, 0x00, 0,    0,
                                                  0,    4,    0x04, 0x02, 0x00, 0x20};

INSTANTIATE_TEST_SUITE_P(
    Results, SgIoResultTest,
    ::testing::Values(
        ResultCase{"Good", 0, 0x00, 0, 0, {}, true, 0, 0, 0, 0},
        ResultCase{"FixedSense", 0, 0x02, 0, 0x08, Fixed(0x05, 0x24, 0x00), true, 5, 0x24, 0, 0},
        ResultCase{"FixedSenseKeyByteWhole", 0, 0x02, 0, 0x08, Fixed(0x20, 0, 0), true, 0x20, 0, 0,
                   0},
        ResultCase{"DescriptorSense",
                   0,
                   0x02,
                   0,
                   0x08,
                   {0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0},
                   true,
                   2,
                   0x3A,
                   0,
                   0},
        ResultCase{"DescriptorIliFolded", 0, 0x02, 0, 0x08, kDescriptorIli, true, 0x20, 0, 0, 0},
        ResultCase{"IoctlFailed", EPERM, 0x02, 0, 0, Fixed(5, 0x20, 0), false, 0, 0, 0, EPERM},
        ResultCase{"HostError", 0, 0x00, 0x01, 0, {}, false, 0, 0, 0, EIO},
        ResultCase{"HostTimeOut", 0, 0x00, 0x03, 0, {}, false, 0, 0, 0, ETIMEDOUT},
        ResultCase{"DriverError", 0, 0x00, 0, 0x04, {}, false, 0, 0, 0, EIO},
        ResultCase{"BusyWithoutSense", 0, 0x08, 0, 0, {}, false, 0, 0, 0, EIO},
        ResultCase{"CheckConditionWithoutSense", 0, 0x02, 0, 0, {}, false, 0, 0, 0, EIO}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SgIoResult, SenseBeyondWhatTheDriverWroteIsIgnored) {
  SgIoExchange exchange;
  DriveCommand command;
  PrepareSgIo(exchange, command, nullptr, 60);
  const auto sense = Fixed(0x05, 0x24, 0x00);
  std::copy(sense.begin(), sense.end(), exchange.sense.begin());
  exchange.header.sb_len_wr = 3;  // key byte only
  exchange.header.status = 0x02;
  CommandResult result;
  RecordSgIoResult(exchange, 0, result);
  EXPECT_EQ(result.senseKey, 5);
  EXPECT_EQ(result.asc, 0);
  EXPECT_EQ(result.ascq, 0);
}

}  // namespace

namespace {

TEST(SgIoResult, TransferredIsWhatTheResidualLeaves) {
  struct Case {
    std::uint32_t length;
    int resid;
    std::uint32_t transferred;
  };
  const Case cases[] = {
      {16384, 0, 16384}, {16384, 16384, 0}, {128, 92, 36},
      {0, 0, 0},         {64, 100, 0},  // a residual beyond the request moved nothing
      {64, -5, 64}};
  std::array<std::uint8_t, 16384> data{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resid);
    SgIoExchange exchange;
    DriveCommand command;
    command.length = c.length;
    PrepareSgIo(exchange, command, data.data(), 60);
    exchange.header.resid = c.resid;
    CommandResult result;
    RecordSgIoResult(exchange, 0, result);
    ASSERT_TRUE(result.transferred.has_value());
    EXPECT_EQ(*result.transferred, c.transferred);
  }
  SgIoExchange failed;
  CommandResult result;
  RecordSgIoResult(failed, EIO, result);
  EXPECT_FALSE(result.transferred.has_value()) << "a failed call says nothing of what moved";
}

}  // namespace

namespace {

// libata gives up on a command at its time-out, resets the port and answers
// with sense 0B/00/00 and DRIVER_SENSE; USB answers DID_TIME_OUT. The time
// the command took decides, whatever the codes.
TEST(SgIoResult, ACommandThatRanItsWholeTimeOutTimedOut) {
  struct Case {
    const char* name;
    unsigned duration;  // of a 60 s time-out, in ms
    std::uint16_t hostStatus;
    std::uint8_t status;
    std::uint32_t errorCode;
    bool lost;  // as an unplugged drive's command would end
  };
  const Case cases[] = {
      {"libata after its reset", 60000, 0x00, 0x02, ETIMEDOUT, false},
      {"longer than the time-out", 60400, 0x00, 0x02, ETIMEDOUT, false},
      {"USB after its reset", 60000, 0x03, 0x00, ETIMEDOUT, false},
      {"a DID_ERROR at its time-out", 60000, 0x07, 0x00, ETIMEDOUT, false},
      {"aborted just before", 59999, 0x00, 0x02, 0, false},
      {"DID_ERROR early", 12, 0x07, 0x00, EIO, true},
      {"DID_NO_CONNECT", 0, 0x01, 0x00, EIO, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SgIoExchange exchange;
    DriveCommand command;
    PrepareSgIo(exchange, command, nullptr, 60);
    const auto sense = Fixed(0x0B, 0x00, 0x00);
    std::copy(sense.begin(), sense.end(), exchange.sense.begin());
    exchange.header.sb_len_wr = c.status != 0 ? static_cast<unsigned char>(sense.size()) : 0;
    exchange.header.status = c.status;
    exchange.header.driver_status = c.status != 0 ? 0x08 : 0x00;
    exchange.header.host_status = c.hostStatus;
    exchange.header.duration = c.duration;
    CommandResult result;
    RecordSgIoResult(exchange, 0, result);
    EXPECT_EQ(result.errorCode, c.errorCode);
    EXPECT_EQ(result.callSucceeded, c.errorCode == 0);
    EXPECT_EQ(SgIoLostDevice(exchange, 0), c.lost);
  }
  SgIoExchange failed;
  EXPECT_TRUE(SgIoLostDevice(failed, ENODEV)) << "the node's device was removed";
  EXPECT_FALSE(SgIoLostDevice(failed, EPERM));
}

}  // namespace
