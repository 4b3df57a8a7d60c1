// The pass-through record as the port driver sees it, and how its answer is read.
#include "device/nt_pass_through.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

DriveCommand Command(std::uint8_t direction, std::uint32_t length) {
  DriveCommand command;
  for (std::size_t i = 0; i < kCdbLength; ++i) command.cdb[i] = static_cast<std::uint8_t>(0xA0 + i);
  command.direction = direction;
  command.length = length;
  return command;
}

TEST(NtPassThrough, FillsEveryFieldOverADirtyRecord) {
  struct Case {
    std::uint8_t direction;
    UCHAR dataIn;
  };
  const Case cases[] = {{kDirectionIn, SCSI_IOCTL_DATA_IN},
                        {kDirectionOut, SCSI_IOCTL_DATA_OUT},
                        {7, SCSI_IOCTL_DATA_OUT}};  // anything but 1 moves data out
  std::uint8_t buffer[16] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.direction));
    PassThroughRecord record;
    std::memset(&record, 0xFF, sizeof(record));
    PreparePassThrough(record, {'E', 3, 1, 0}, Command(c.direction, 16384), buffer, 180);
    const SCSI_PASS_THROUGH_DIRECT& sptd = record.sptd;
    EXPECT_EQ(sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(sptd.ScsiStatus, 0);
    EXPECT_EQ(sptd.PathId, 3);
    EXPECT_EQ(sptd.TargetId, 1);
    EXPECT_EQ(sptd.Lun, 0);
    EXPECT_EQ(sptd.CdbLength, 12);
    EXPECT_EQ(sptd.SenseInfoLength, 24);
    EXPECT_EQ(sptd.DataIn, c.dataIn);
    EXPECT_EQ(sptd.DataTransferLength, 16384u);
    EXPECT_EQ(sptd.TimeOutValue, 180u);
    EXPECT_EQ(sptd.DataBuffer, buffer);
    EXPECT_EQ(sptd.SenseInfoOffset, sizeof(SCSI_PASS_THROUGH_DIRECT) + 4);
    for (std::size_t i = 0; i < 16; ++i) {
      EXPECT_EQ(sptd.Cdb[i], i < kCdbLength ? 0xA0 + i : 0) << "CDB byte " << i;
    }
    EXPECT_EQ(record.filler, 0u);
    for (UCHAR b : record.sense) EXPECT_EQ(b, 0);
  }
}

TEST(NtPassThrough, ReadsTheAnswer) {
  struct Case {
    const char* what;
    bool callSucceeded;
    DWORD lastError;
    UCHAR scsiStatus;
    std::array<UCHAR, 14> sense;  // the first bytes of the sense buffer
    ULONG returnedLength;
    CommandResult expected;
  };
  const std::array<UCHAR, 14> none{};
  const std::array<UCHAR, 14> invalidField{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
  const std::array<UCHAR, 14> ili{0x70, 0, 0x20, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x00, 0x00};
  const Case cases[] = {
      {"good", true, 0, 0x00, none, 2048, {.callSucceeded = true, .transferred = 2048}},
      {"check condition",
       true,
       0,
       0x02,
       invalidField,
       0,
       {.senseKey = 0x05, .asc = 0x24, .status = 0x02, .callSucceeded = true, .transferred = 0}},
      {"ILI bit kept in the key byte",
       true,
       0,
       0x02,
       ili,
       100,
       {.senseKey = 0x20, .status = 0x02, .callSucceeded = true, .transferred = 100}},
      {"failed call",
       false,
       ERROR_INVALID_FUNCTION,
       0x00,
       none,
       0,
       {.errorCode = ERROR_INVALID_FUNCTION}},
      {"failing status without sense is no success",
       true,
       0,
       0x08,
       none,
       0,
       {.status = 0x08, .errorCode = ERROR_IO_DEVICE}},
      {"more than asked is not believed",
       true,
       0,
       0x00,
       none,
       99999,
       {.callSucceeded = true, .transferred = 4096}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PassThroughRecord record;
    std::uint8_t buffer[4096];
    PreparePassThrough(record, {'E', 0, 0, 0}, Command(kDirectionIn, 4096), buffer, 60);
    record.sptd.ScsiStatus = c.scsiStatus;
    record.sptd.DataTransferLength = c.returnedLength;
    std::copy(c.sense.begin(), c.sense.end(), record.sense);
    CommandResult result;
    result.senseKey = 0x77;  // a previous command's values must not survive
    RecordPassThroughResult(record, c.callSucceeded, c.lastError, 4096, result);
    EXPECT_EQ(result.callSucceeded, c.expected.callSucceeded);
    EXPECT_EQ(result.errorCode, c.expected.errorCode);
    EXPECT_EQ(result.status, c.expected.status);
    EXPECT_EQ(result.senseKey, c.expected.senseKey);
    EXPECT_EQ(result.asc, c.expected.asc);
    EXPECT_EQ(result.ascq, c.expected.ascq);
    EXPECT_EQ(result.transferred, c.expected.transferred);
  }
}

}  // namespace
