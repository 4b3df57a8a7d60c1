#include "sim/sim_drive.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sim::Cdb;
using sim::SenseTriple;

constexpr std::uint32_t kSmallDram = 0x1000;

Cdb WriteCdb(std::uint32_t offset, std::uint32_t length, std::uint8_t control = 0) {
  return {0x3B,
          0x05,
          0x01,
          std::uint8_t(offset >> 16),
          std::uint8_t(offset >> 8),
          std::uint8_t(offset),
          std::uint8_t(length >> 16),
          std::uint8_t(length >> 8),
          std::uint8_t(length),
          control,
          0,
          0};
}

Cdb ReadCdb(std::uint32_t offset, std::uint32_t length) {
  Cdb cdb = WriteCdb(offset, length);
  cdb[0] = 0x3C;
  cdb[1] = 0x01;
  return cdb;
}

const Cdb kTestUnitReady{};
const Cdb kFlashStart = WriteCdb(0, 0, 0x80);

TEST(SimDram, RejectsTransfersPastItsEndOrUnlikeTheirCdb) {
  struct Case {
    const char* name;
    Cdb cdb;
    std::uint8_t direction;
    std::uint32_t length;
    SenseTriple expected;
  };
  const std::vector<Case> cases = {
      {"LastBytes", WriteCdb(kSmallDram - 16, 16), 0, 16, sim::kSenseNone},
      {"OneBytePast", WriteCdb(kSmallDram - 16, 17), 0, 17, sim::kSenseInvalidField},
      {"OffsetPast", WriteCdb(kSmallDram, 1), 0, 1, sim::kSenseInvalidField},
      {"HugeFieldsDoNotWrap", WriteCdb(0xFFFFFF, 0xFFFFFF), 0, 16, sim::kSenseInvalidField},
      {"LengthUnlikeCdb", WriteCdb(0, 16), 0, 8, sim::kSenseInvalidField},
      {"ReadLastBytes", ReadCdb(kSmallDram - 16, 16), 1, 16, sim::kSenseNone},
      {"ReadPast", ReadCdb(kSmallDram - 8, 16), 1, 16, sim::kSenseInvalidField},
  };
  for (const Case& c : cases) {
    sim::SimDrive drive({.dramSize = kSmallDram});
    std::vector<std::uint8_t> host(c.length, 0xA5);
    const sim::SimOutcome outcome = drive.Execute(c.cdb, c.direction, host.data(), c.length, 60);
    EXPECT_EQ(outcome.sense, c.expected) << c.name;
  }
}

TEST(SimDram, WrittenPiecesReadBackAndFlashStartNeedsAnImage) {
  sim::SimDrive drive({.revisionAfterFlash = "1.10"});
  std::vector<std::uint8_t> answer(16);
  EXPECT_EQ(drive.Execute(kFlashStart, 1, answer.data(), 16, 180).sense, sim::kSenseSequenceError);

  std::vector<std::uint8_t> piece(16384);
  for (std::size_t i = 0; i < piece.size(); ++i) {
    piece[i] = static_cast<std::uint8_t>(i * 7);
  }
  ASSERT_EQ(drive.Execute(WriteCdb(16384, 16384), 0, piece.data(), 16384, 60).sense,
            sim::kSenseNone);
  std::vector<std::uint8_t> back(16384);
  ASSERT_EQ(drive.Execute(ReadCdb(16384, 16384), 1, back.data(), 16384, 60).sense, sim::kSenseNone);
  EXPECT_EQ(back, piece);
  EXPECT_EQ(drive.Transcript()[1].Text(), "3B 05 01 00 40 00 00 40 00 00 00 00 out 16384");
  EXPECT_EQ(drive.Transcript()[1].dataDigest, sim::Digest(piece));
  EXPECT_EQ(drive.Transcript()[2].dataDigest, sim::Digest(piece));

  EXPECT_EQ(drive.Execute(kFlashStart, 1, answer.data(), 16, 180).sense, sim::kSenseNone);
  EXPECT_EQ(drive.CurrentRevision(), "1.10");
  EXPECT_EQ(drive.FlashStarts(), 1u);
}

TEST(SimFaults, TriggersHitOnlyTheCommandsTheyName) {
  sim::SimDrive drive;
  std::vector<std::uint8_t> data(16, 1);
  drive.InjectFault({.when = sim::FaultTrigger::OnOpcode(0x3B, 0x80), .sense = {4, 0x44, 0}});
  drive.InjectFault({.when = sim::FaultTrigger::OnOpcode(0x00).Nth(2), .sense = {6, 0x28, 0}});
  drive.InjectFault({.when = sim::FaultTrigger::OnCommand(5), .sense = {3, 0x11, 0}});

  drive.Execute(kTestUnitReady, 1, nullptr, 0, 60);        // 1
  drive.Execute(WriteCdb(0, 16), 0, data.data(), 16, 60);  // 2: control 00h is not hit
  drive.Execute(kTestUnitReady, 1, nullptr, 0, 60);        // 3: second TEST UNIT READY
  drive.Execute(kFlashStart, 1, data.data(), 16, 60);      // 4
  drive.Execute(kTestUnitReady, 1, nullptr, 0, 60);        // 5: by number
  drive.Execute(kTestUnitReady, 1, nullptr, 0, 60);        // 6: Nth(2) fired once only
  EXPECT_EQ(drive.TranscriptTextWithResults(),
            (std::vector<std::string>{
                "00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 00 00 00",
                "3B 05 01 00 00 00 00 00 10 00 00 00 out 16 -> 00 00 00",
                "00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 06 28 00",
                "3B 05 01 00 00 00 00 00 00 80 00 00 in 16 -> 04 44 00",
                "00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 03 11 00",
                "00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 00 00 00",
            }));
  EXPECT_EQ(drive.FlashStarts(), 0u) << "a faulted command changes nothing in the drive";
}

TEST(SimFaults, CorruptReadBackFlipsOneByteAndGoneDriveStaysGone) {
  sim::SimDrive drive;
  std::vector<std::uint8_t> piece(64, 0x5A);
  drive.Execute(WriteCdb(0, 64), 0, piece.data(), 64, 60);
  drive.InjectFault({.kind = sim::FaultKind::CorruptReadBack,
                     .when = sim::FaultTrigger::OnOpcode(0x3C).Nth(1),
                     .byteIndex = 10});
  std::vector<std::uint8_t> back(64);
  EXPECT_EQ(drive.Execute(ReadCdb(0, 64), 1, back.data(), 64, 60).sense, sim::kSenseNone);
  EXPECT_EQ(back[10], 0x5A ^ 0xFF);
  back[10] = 0x5A;
  EXPECT_EQ(back, piece);
  EXPECT_EQ(drive.Dram()[10], 0x5A) << "the drive's own copy is intact";

  drive.InjectFault(
      {.kind = sim::FaultKind::StopsAnswering, .when = sim::FaultTrigger::OnCommand(3)});
  const Cdb inquiry{0x12, 0, 0, 0, 0x80};
  std::vector<std::uint8_t> identity(128);
  EXPECT_EQ(drive.Execute(inquiry, 1, identity.data(), 128, 60).completion,
            sim::Completion::NotAnswering);
  EXPECT_EQ(drive.Execute(inquiry, 1, identity.data(), 128, 60).completion,
            sim::Completion::NotAnswering);
  EXPECT_FALSE(drive.Answering());
}

TEST(SimFaults, ShortTransferMovesOnlyTheFirstBytesEitherWay) {
  sim::SimDrive drive;
  std::vector<std::uint8_t> piece(64, 0x5A);
  drive.InjectFault({.kind = sim::FaultKind::ShortTransfer,
                     .when = sim::FaultTrigger::OnOpcode(0x3B).Nth(1),
                     .bytesMoved = 40});
  const sim::SimOutcome written = drive.Execute(WriteCdb(0, 64), 0, piece.data(), 64, 60);
  EXPECT_EQ(written.moved, 40u);
  EXPECT_EQ(drive.Dram()[39], 0x5A);
  EXPECT_EQ(drive.Dram()[40], 0x00) << "what never crossed the bus cannot be in DRAM";

  drive.Execute(WriteCdb(0, 64), 0, piece.data(), 64, 60);  // whole again
  drive.InjectFault({.kind = sim::FaultKind::ShortTransfer,
                     .when = sim::FaultTrigger::OnOpcode(0x3C),
                     .bytesMoved = 24});
  std::vector<std::uint8_t> back(64, 0xEE);
  const sim::SimOutcome read = drive.Execute(ReadCdb(0, 64), 1, back.data(), 64, 60);
  EXPECT_EQ(read.sense, sim::kSenseNone);
  EXPECT_EQ(read.moved, 24u);
  EXPECT_EQ(back[23], 0x5A);
  EXPECT_EQ(back[24], 0xEE) << "the host's bytes past the transfer stay as they were";
  EXPECT_EQ(drive.Transcript().back().moved, 24u);
  EXPECT_EQ(drive.Transcript().back().dataDigest, sim::Digest(std::span(back).first(24)));

  // Asking for more than the command moves changes nothing.
  drive.ClearFaults();
  drive.InjectFault({.kind = sim::FaultKind::ShortTransfer,
                     .when = sim::FaultTrigger::OnOpcode(0x12),
                     .bytesMoved = 1000});
  std::vector<std::uint8_t> identity(36);
  EXPECT_EQ(drive.Execute({0x12, 0, 0, 0, 36}, 1, identity.data(), 36, 60).moved, 36u);
}

}  // namespace
