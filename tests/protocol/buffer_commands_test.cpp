#include "protocol/buffer_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "protocol_fixture.h"

namespace {

using protocol::ProtocolContext;
using Operation = std::function<bool(ProtocolContext&)>;

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(length);
  std::iota(bytes.begin(), bytes.end(), seed);
  return bytes;
}

TEST(BufferCommands, CommandBlocks) {
  static std::vector<std::uint8_t> piece = Pattern(16384, 1);
  static std::uint8_t e2Byte = 0x5A;
  struct Case {
    const char* name;
    Operation run;
    std::string sent;
  };
  const Case cases[] = {
      {"empty data write", [](auto& c) { return protocol::WriteBuffer(c, 0, nullptr, 0, 0); },
       "3B 05 01 00 00 00 00 00 00 00 00 00 out 0"},
      {"second image piece",
       [](auto& c) { return protocol::WriteBuffer(c, 16384, piece.data(), 16384, 0); },
       "3B 05 01 00 40 00 00 40 00 00 00 00 out 16384"},
      {"offset bits above 24 dropped",
       [](auto& c) { return protocol::WriteBuffer(c, 0x01034567, piece.data(), 0x10, 0); },
       "3B 05 01 03 45 67 00 00 10 00 00 00 out 16"},
      {"flash start", [](auto& c) { return protocol::WriteBuffer(c, 0, nullptr, 0, 0x80); },
       "3B 05 01 00 00 00 00 00 00 80 00 00 in 16"},
      {"flash start, all", [](auto& c) { return protocol::WriteBuffer(c, 0, nullptr, 0, 0xA0); },
       "3B 05 01 00 00 00 00 00 00 A0 00 00 in 16"},
      {"read buffer", [](auto& c) { return protocol::ReadBuffer(c, 0x8000, piece.data(), 0x2A0); },
       "3C 01 01 00 80 00 00 02 A0 00 00 00 in 672"},
      {"EEPROM byte", [](auto& c) { return protocol::WriteE2(c, &e2Byte, 0x1234, 1); },
       "DF 0A 00 00 00 00 00 12 34 5A 00 00 in 0"},
      {"disc probe", [](auto& c) { return protocol::CheckDisc(c); },
       "BE 00 00 00 00 10 00 00 01 10 00 00 in 8"},
      {"serial port", [](auto& c) { return protocol::SetRs232(c); },
       "F3 04 01 01 00 00 00 00 00 00 00 00 in 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimBench bench;
    c.run(bench.ctx);
    EXPECT_EQ(bench.Sent(), std::vector<std::string>{c.sent});
    EXPECT_EQ(bench.drive.Transcript().back().cdb, bench.ctx.commandBlock);
  }
}

TEST(BufferCommands, DataGoesToDramAndComesBack) {
  SimBench bench;
  const std::vector<std::uint8_t> piece = Pattern(16384, 7);
  ASSERT_TRUE(protocol::WriteBuffer(bench.ctx, 16384, piece.data(), 16384, 0));
  const auto dram = bench.drive.Dram().subspan(16384, 16384);
  EXPECT_TRUE(std::equal(dram.begin(), dram.end(), piece.begin()));

  std::vector<std::uint8_t> back(16384, 0);
  ASSERT_TRUE(protocol::ReadBuffer(bench.ctx, 16384, back.data(), 16384));
  EXPECT_EQ(back, piece);

  // The flash-start command reads nothing from its data argument.
  ASSERT_TRUE(protocol::WriteBuffer(bench.ctx, 0, nullptr, 0, 0xA0));
  EXPECT_EQ(bench.drive.FlashStarts(), 1U);
  EXPECT_EQ(bench.drive.LastFlashControl(), 0xA0);
  EXPECT_TRUE(bench.Shown().empty());
}

TEST(BufferCommands, FailuresShowPrefixAndSenseText) {
  static std::uint8_t bytes[3] = {1, 2, 3};
  struct Case {
    const char* name;
    Operation run;
    std::uint8_t opcode;
    std::string prefix;
  };
  const Case cases[] = {
      {"data write", [](auto& c) { return protocol::WriteBuffer(c, 0, bytes, 3, 0); }, 0x3B,
       "Write Buffer> "},
      {"flash start", [](auto& c) { return protocol::WriteBuffer(c, 0, nullptr, 0, 0x80); }, 0x3B,
       "Write Buffer> "},
      {"read", [](auto& c) { return protocol::ReadBuffer(c, 0, bytes, 3); }, 0x3C, "Read Buffer> "},
      {"EEPROM", [](auto& c) { return protocol::WriteE2(c, bytes, 0, 3); }, 0xDF, "Write E2> "},
  };
  for (const Case& c : cases) {
    for (const sim::FaultKind kind : kFailingKinds) {
      SCOPED_TRACE(std::string(c.name) + " fault " + std::to_string(static_cast<int>(kind)));
      SimBench bench;
      bench.Fail(kind, sim::FaultTrigger::OnOpcode(c.opcode));
      EXPECT_FALSE(c.run(bench.ctx));
      ASSERT_EQ(bench.Shown().size(), 1U);
      EXPECT_EQ(bench.Shown()[0].rfind(c.prefix, 0), 0U) << bench.Shown()[0];
      if (kind == sim::FaultKind::Sense) {
        EXPECT_EQ(bench.Shown()[0], c.prefix + std::string(kHardwareErrorText));
      }
      EXPECT_EQ(bench.Sent().size(), 1U);
    }
  }
}

TEST(BufferCommands, FailedReadLeavesDestinationAsItWas) {
  for (const sim::FaultKind kind : kFailingKinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    SimBench bench;
    std::fill(bench.transferBuffer.begin(), bench.transferBuffer.end(), 0x11);
    bench.Fail(kind, sim::FaultTrigger::OnOpcode(0x3C));
    std::vector<std::uint8_t> destination(512, 0xA5);
    EXPECT_FALSE(protocol::ReadBuffer(bench.ctx, 0, destination.data(), 512));
    EXPECT_EQ(destination, std::vector<std::uint8_t>(512, 0xA5));
  }
}

TEST(BufferCommands, TransfersBeyondTheTransferBufferAreRefusedUnsent) {
  SimBench bench;
  std::vector<std::uint8_t> big(kTransferBufferLength + 1, 0x42);
  EXPECT_FALSE(protocol::WriteBuffer(bench.ctx, 0, big.data(), kTransferBufferLength + 1, 0));
  EXPECT_FALSE(protocol::ReadBuffer(bench.ctx, 0, big.data(), kTransferBufferLength + 1));
  EXPECT_TRUE(bench.Sent().empty());
  EXPECT_EQ(bench.Shown(),
            (std::vector<std::string>{
                "Write Buffer> refused: 16385 bytes do not fit the 16384-byte transfer buffer.",
                "Read Buffer> refused: 16385 bytes do not fit the 16384-byte transfer buffer."}));
  EXPECT_EQ(big, std::vector<std::uint8_t>(kTransferBufferLength + 1, 0x42));
}

TEST(WriteE2, StopsAtTheFirstRejectedByte) {
  SimBench bench;
  const std::uint8_t before = bench.drive.Eeprom()[0x101];
  const std::uint8_t data[3] = {0x10, 0x20, 0x30};
  bench.Fail(sim::FaultKind::Sense, sim::FaultTrigger::OnOpcode(0xDF).Nth(2));
  EXPECT_FALSE(protocol::WriteE2(bench.ctx, data, 0x100, 3));
  EXPECT_EQ(bench.Sent(), (std::vector<std::string>{"DF 0A 00 00 00 00 00 01 00 10 00 00 in 0",
                                                    "DF 0A 00 00 00 00 00 01 01 20 00 00 in 0"}));
  EXPECT_EQ(bench.drive.Eeprom()[0x100], 0x10);
  EXPECT_EQ(bench.drive.Eeprom()[0x101], before);
  EXPECT_EQ(bench.Shown(),
            std::vector<std::string>{"Write E2> " + std::string(kHardwareErrorText)});
}

TEST(WriteE2, AddressWrapsAndEmptyWriteSendsNothing) {
  SimBench bench;
  EXPECT_TRUE(protocol::WriteE2(bench.ctx, nullptr, 0x1234, 0));
  EXPECT_TRUE(bench.Sent().empty());

  const std::uint8_t data[2] = {0x11, 0x22};
  EXPECT_TRUE(protocol::WriteE2(bench.ctx, data, 0xFFFF, 2));
  EXPECT_EQ(bench.Sent(), (std::vector<std::string>{"DF 0A 00 00 00 00 00 FF FF 11 00 00 in 0",
                                                    "DF 0A 00 00 00 00 00 00 00 22 00 00 in 0"}));
  EXPECT_EQ(bench.drive.Eeprom()[0xFFFF], 0x11);
  EXPECT_EQ(bench.drive.Eeprom()[0x0000], 0x22);
  EXPECT_TRUE(bench.Shown().empty());
}

TEST(Probes, TrueOnlyForNoMediumSense) {
  struct Case {
    const char* name;
    sim::DriveConfig config;
    bool (*probe)(ProtocolContext&);
    std::optional<sim::FaultKind> fault;
    bool expected;
  };
  const Case cases[] = {
      {"empty drive", {.mediumPresent = false}, protocol::CheckDisc, {}, true},
      {"disc present", {.mediumPresent = true}, protocol::CheckDisc, {}, false},
      {"other sense", {.mediumPresent = false}, protocol::CheckDisc, sim::FaultKind::Sense, false},
      {"call failed",
       {.mediumPresent = false},
       protocol::CheckDisc,
       sim::FaultKind::CallFailed,
       false},
      {"serial no medium", {.serialPortAnswer = sim::kSenseNoMedium}, protocol::SetRs232, {}, true},
      {"serial accepted", {.serialPortAnswer = sim::kSenseNone}, protocol::SetRs232, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimBench bench(c.config);
    if (c.fault) {
      bench.Fail(*c.fault, sim::FaultTrigger::OnCommand(1));
    }
    EXPECT_EQ(c.probe(bench.ctx), c.expected);
    EXPECT_TRUE(bench.Shown().empty());
  }
}

}  // namespace
