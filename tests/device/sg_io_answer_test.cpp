// The preload's SG_IO answers, read back by the program's own SG_IO code: a
// simulated outcome must reach the program as the same result the simulated
// transport gives tests, or the process tests would check something else.
#include "sim/preload/sg_io_answer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "device/linux_sg_io.h"

namespace {

const sim::Cdb kInquiry{0x12, 0, 0, 0, 0x80};
const sim::Cdb kTestUnitReady{};

struct OutcomeCase {
  const char* name;
  sim::Fault fault;
  sim::Cdb cdb;
  std::uint32_t length;
  int ioctlError;
  CommandResult expected;
  int resid;
  std::uint16_t hostStatus;
};

TEST(SgIoAnswer, ProgramReadsEachOutcomeAsTheKernelWouldReportIt) {
  using sim::FaultKind;
  const auto on = [](std::uint8_t op) { return sim::FaultTrigger::OnOpcode(op); };
  const std::vector<OutcomeCase> cases = {
      {"Good",
       {.kind = FaultKind::Sense, .when = on(0x5A)},
       kInquiry,
       128,
       0,
       {.callSucceeded = true},
       0,
       0},
      {"CheckCondition",
       {.kind = FaultKind::Sense, .when = on(0x00), .sense = {0x02, 0x04, 0x01}},
       kTestUnitReady,
       0,
       0,
       {.senseKey = 0x02, .asc = 0x04, .ascq = 0x01, .status = 0x02, .callSucceeded = true},
       0,
       0},
      {"FlagBitsKeptInKeyByte",
       {.kind = FaultKind::Sense, .when = on(0x12), .sense = {0x25, 0x24, 0x00}},
       kInquiry,
       128,
       0,
       {.senseKey = 0x25, .asc = 0x24, .status = 0x02, .callSucceeded = true},
       128,
       0},
      {"ShortTransfer",
       {.kind = FaultKind::ShortTransfer, .when = on(0x12), .bytesMoved = 36},
       kInquiry,
       128,
       0,
       {.callSucceeded = true},
       92,
       0},
      {"CallFailed",
       {.kind = FaultKind::CallFailed, .when = on(0x12)},
       kInquiry,
       128,
       0,
       {.errorCode = EIO},
       128,
       sim::kHostError},
      {"CallFailedWithError",
       {.kind = FaultKind::CallFailed, .when = on(0x12), .errorCode = EPERM},
       kInquiry,
       128,
       EPERM,
       {.errorCode = EPERM},
       0,
       0},
      {"NeverCompletes",
       {.kind = FaultKind::NeverCompletes, .when = on(0x12)},
       kInquiry,
       128,
       0,
       {.errorCode = ETIMEDOUT},
       128,
       sim::kHostTimedOut},
      {"NeverCompletesOnLibata",
       {.kind = FaultKind::NeverCompletes, .when = on(0x12), .portReset = true},
       kInquiry,
       128,
       0,
       {.senseKey = 0x0B, .status = 0x02, .errorCode = ETIMEDOUT},
       128,
       0},
      // The node's disappearance, which only the preload models, tells the
      // program the drive is gone; the codes alone read as a failed transfer.
      {"Gone",
       {.kind = FaultKind::StopsAnswering, .when = on(0x12)},
       kInquiry,
       128,
       0,
       {.errorCode = EIO},
       128,
       sim::kHostError},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimDrive drive;
    drive.InjectFault(c.fault);
    DriveCommand command;
    std::copy(c.cdb.begin(), c.cdb.end(), command.cdb.begin());
    command.length = c.length;
    std::vector<std::uint8_t> data(c.length + 1, 0xEE);
    SgIoExchange exchange;
    PrepareSgIo(exchange, command, data.data(), 60);

    const int error = sim::AnswerSgIo(drive, exchange.header);
    EXPECT_EQ(error, c.ioctlError);
    CommandResult result;
    RecordSgIoResult(exchange, error, result);
    EXPECT_EQ(result.senseKey, c.expected.senseKey);
    EXPECT_EQ(result.asc, c.expected.asc);
    EXPECT_EQ(result.ascq, c.expected.ascq);
    EXPECT_EQ(result.status, c.expected.status);
    EXPECT_EQ(result.callSucceeded, c.expected.callSucceeded);
    EXPECT_EQ(result.errorCode, c.expected.errorCode);
    if (error == 0) {
      EXPECT_EQ(exchange.header.resid, c.resid);
      EXPECT_EQ(exchange.header.host_status, c.hostStatus);
      EXPECT_LE(exchange.header.sb_len_wr, exchange.header.mx_sb_len);
    }
    EXPECT_EQ(data.back(), 0xEE) << "nothing is written past the transfer";
    ASSERT_EQ(drive.Transcript().size(), 1u);
    EXPECT_EQ(drive.Transcript()[0].timeOutSeconds, 60);
  }
}

// An unplugged drive fails the command in flight and the next one with
// DID_ERROR while the host still has it; later ones find it removed.
TEST(SgIoAnswer, AnUnpluggedDriveAnswersAsTheKernelDoesWhileItIsRemoved) {
  sim::SimDrive drive;
  drive.InjectFault(
      {.kind = sim::FaultKind::StopsAnswering, .when = sim::FaultTrigger::OnOpcode(0x00)});
  std::vector<std::uint16_t> hosts;
  for (int k = 0; k < 4; ++k) {
    DriveCommand command;
    SgIoExchange exchange;
    PrepareSgIo(exchange, command, nullptr, 60);
    ASSERT_EQ(sim::AnswerSgIo(drive, exchange.header), 0);
    hosts.push_back(exchange.header.host_status);
  }
  EXPECT_EQ(hosts, (std::vector<std::uint16_t>{sim::kHostError, sim::kHostError,
                                               sim::kHostNoConnect, sim::kHostNoConnect}));
}

TEST(SgIoAnswer, SenseNeverOverrunsTheHostsSenseBuffer) {
  sim::SimDrive drive;
  drive.InjectFault({.when = sim::FaultTrigger::OnOpcode(0x00), .sense = {0x06, 0x29, 0x00}});
  std::array<std::uint8_t, 8> sense{};
  sense.fill(0xEE);
  std::array<std::uint8_t, 12> cdb{};
  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.cmdp = cdb.data();
  header.cmd_len = 12;
  header.dxfer_direction = SG_DXFER_NONE;
  header.sbp = sense.data();
  header.mx_sb_len = 4;
  ASSERT_EQ(sim::AnswerSgIo(drive, header), 0);
  EXPECT_EQ(header.sb_len_wr, 4);
  EXPECT_EQ(sense[2], 0x06);
  EXPECT_EQ(sense[4], 0xEE);
}

TEST(SgIoAnswer, RefusesRequestsTheKernelRefusesWithoutRunningThem) {
  std::array<std::uint8_t, 16> cdb{};
  std::array<std::uint8_t, 16> data{};
  const auto good = [&] {
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.cmdp = cdb.data();
    h.cmd_len = 12;
    h.dxfer_direction = SG_DXFER_FROM_DEV;
    h.dxfer_len = 16;
    h.dxferp = data.data();
    return h;
  };
  struct Case {
    const char* name;
    void (*spoil)(sg_io_hdr_t&);
    int error;
  };
  const std::vector<Case> cases = {
      {"InterfaceId", [](sg_io_hdr_t& h) { h.interface_id = 'Q'; }, ENOSYS},
      {"NoCdb", [](sg_io_hdr_t& h) { h.cmdp = nullptr; }, EFAULT},
      {"CdbTooLong", [](sg_io_hdr_t& h) { h.cmd_len = 17; }, EINVAL},
      {"DataWithoutDirection", [](sg_io_hdr_t& h) { h.dxfer_direction = SG_DXFER_NONE; }, EINVAL},
      {"DataWithoutBuffer", [](sg_io_hdr_t& h) { h.dxferp = nullptr; }, EFAULT},
      {"ScatterList", [](sg_io_hdr_t& h) { h.iovec_count = 1; }, EINVAL},
  };
  for (const Case& c : cases) {
    sim::SimDrive drive;
    sg_io_hdr_t header = good();
    c.spoil(header);
    EXPECT_EQ(sim::AnswerSgIo(drive, header), c.error) << c.name;
    EXPECT_TRUE(drive.Transcript().empty()) << c.name;
  }
  sim::SimDrive drive;
  sg_io_hdr_t header = good();
  EXPECT_EQ(sim::AnswerSgIo(drive, header), 0) << "the unspoilt request runs";
}

}  // namespace
