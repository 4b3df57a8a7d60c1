#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/flash_profile_setup.h"
#include "protocol/profile_pool.h"
#include "protocol_fixture.h"

namespace {

using protocol::ProfileState;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWorkBufferLength = 16384;
constexpr std::uint8_t kStagingFill = 0xCC;
const std::string kReadFlashIdSent = "DF 11 00 00 00 00 00 00 00 00 00 00 in 128";

Bytes PoolBytes(std::int32_t offset, std::int32_t length) {
  const auto pool =
      ProfilePool().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
  return Bytes(pool.begin(), pool.end());
}

struct ProfileCase {
  const char* name;
  ImageFormat format;
  std::array<std::uint8_t, 4> chipId;
  std::optional<std::int32_t> codeLength;  // the matched entry's; none without a match
  Bytes header;                            // staged ahead of the code
  std::int32_t profileLength;
  std::int32_t poolOffset;
  bool fixedSize;
  std::string profileWrite;
};

const ProfileCase kProfileCases[] = {
    {"critical, 1280-byte profile",
     ImageFormat::CriticalEntry,
     {0xBF, 0xD6, 0x00, 0x00},
     1280,
     {0xBF, 0xD6, 0x05, 0x00},
     1280,
     766,
     true,
     "3B 05 01 08 00 00 00 05 00 7F 00 00 out 1280"},
    {"extended, variant passes entry 2 over",
     ImageFormat::ExtendedId,
     {0xBF, 0xD6, 0x00, 0x02},
     694,
     {0xBF, 0xD6, 0x00, 0x02, 0x02, 0xB6},
     700,
     5120,
     false,
     "3B 05 01 00 00 00 00 02 BC 7F 00 00 out 700"},
    {"extended, fixed size keeps 1280",
     ImageFormat::ExtendedId,
     {0xBF, 0xD6, 0x00, 0x01},
     1280,
     {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00},
     1280,
     766,
     true,
     "3B 05 01 00 00 00 00 05 00 7F 00 00 out 1280"},
    {"critical, first entry",
     ImageFormat::CriticalEntry,
     {0xDA, 0xC8, 0x12, 0x34},
     314,
     {0xDA, 0xC8, 0x01, 0x3A},
     314,
     0,
     false,
     "3B 05 01 08 00 00 00 01 3A 7F 00 00 out 314"},
    {"critical, offset skips shared codes",
     ImageFormat::CriticalEntry,
     {0x37, 0x0D, 0x00, 0x00},
     796,
     {0x37, 0x0D, 0x03, 0x1C},
     796,
     4324,
     false,
     "3B 05 01 08 00 00 00 03 1C 7F 00 00 out 796"},
    {"extended, last entry",
     ImageFormat::ExtendedId,
     {0xDA, 0xB5, 0x00, 0x02},
     698,
     {0xDA, 0xB5, 0x00, 0x02, 0x02, 0xBA},
     704,
     5814,
     false,
     "3B 05 01 00 00 00 00 02 C0 7F 00 00 out 704"},
    {"critical, unknown chip",
     ImageFormat::CriticalEntry,
     {0xBF, 0xB7, 0x00, 0x00},
     {},
     {0xFF, 0xFF, 0x00, 0x00},
     0,
     6512,
     false,
     "3B 05 01 08 00 00 00 00 00 7F 00 00 out 0"},
    {"extended, unknown chip",
     ImageFormat::ExtendedId,
     {0xBF, 0xB7, 0x00, 0x00},
     {},
     {0xFF, 0xFF, 0x00, 0x00},
     4,
     6512,
     false,
     "3B 05 01 00 00 00 00 00 04 7F 00 00 out 4"},
};

TEST(SetupFlashProfile, StagesAndWritesTheMatchingProfile) {
  constexpr std::int32_t kUnsetHeaderLength = -1;
  for (const ProfileCase& c : kProfileCases) {
    SCOPED_TRACE(c.name);
    SimBench bench({.flashChipId = c.chipId});
    Bytes staging(kWorkBufferLength, kStagingFill);
    ProfileState state;
    state.ProfileHeaderLength = kUnsetHeaderLength;

    ASSERT_TRUE(
        protocol::SetupFlashProfile(bench.ctx, c.format, state, staging.data(), kWorkBufferLength));
    EXPECT_EQ(bench.Sent(), (std::vector<std::string>{kReadFlashIdSent, c.profileWrite}));
    EXPECT_EQ(state.ProfileMatched, c.codeLength.has_value());
    EXPECT_EQ(state.FixedSizeProfile, c.fixedSize);
    EXPECT_EQ(state.ProfileLength, c.profileLength);
    EXPECT_EQ(state.ProfileOffset, c.poolOffset);
    EXPECT_EQ(state.ProfileHeaderLength,
              c.codeLength ? static_cast<std::int32_t>(c.header.size()) : kUnsetHeaderLength);

    Bytes staged = c.header;
    if (c.codeLength) {
      const Bytes code = PoolBytes(c.poolOffset, *c.codeLength);
      staged.insert(staged.end(), code.begin(), code.end());
    }
    EXPECT_TRUE(std::equal(staged.begin(), staged.end(), staging.begin()));
    EXPECT_EQ(staging[staged.size()], kStagingFill);

    const Bytes sent(staged.begin(), staged.begin() + c.profileLength);
    if (c.profileLength > 0) {
      EXPECT_EQ(bench.drive.Profile(), sent);
      EXPECT_EQ(bench.drive.ProfileOffset(),
                c.format == ImageFormat::CriticalEntry ? 0x080000U : 0U);
    }
    EXPECT_TRUE(bench.Shown().empty());
  }
}

TEST(SetupFlashProfile, RefusesProfilesThatDoNotFitWithoutWritingThem) {
  struct Case {
    const char* name;
    std::uint32_t stagingSize;
    std::uint32_t transferLength;
    std::string shown;
  };
  // Entry 2 in the critical-entry format: 4 header bytes and 1,280 code bytes.
  const Case cases[] = {
      {"staging too small", 1283, kTransferBufferLength,
       "Write Profile> refused: the 1284-byte profile does not fit the 1283-byte staging buffer."},
      {"transfer buffer too small", kWorkBufferLength, 1024,
       "Write Profile> refused: 1280 bytes do not fit the 1024-byte transfer buffer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimBench bench({.flashChipId = {0xBF, 0xD6, 0x00, 0x01}});
    CDDrive::SetBuffer(bench.transferBuffer.data(), c.transferLength);
    Bytes staging(kWorkBufferLength, kStagingFill);
    ProfileState state;
    EXPECT_FALSE(protocol::SetupFlashProfile(bench.ctx, ImageFormat::CriticalEntry, state,
                                             staging.data(), c.stagingSize));
    EXPECT_EQ(bench.Sent(), std::vector<std::string>{kReadFlashIdSent});
    EXPECT_EQ(bench.Shown(), std::vector<std::string>{c.shown});
    EXPECT_EQ(staging, Bytes(kWorkBufferLength, kStagingFill));
    EXPECT_FALSE(state.ProfileMatched);
  }
}

// Runs SetupFlashProfile for the chip and leaves the staged copy behind, as
// the flash sequence keeps it.
struct StagedProfile {
  ProfileState state;
  Bytes copy;
};

StagedProfile Stage(SimBench& bench, ImageFormat format) {
  StagedProfile staged;
  Bytes staging(kWorkBufferLength, kStagingFill);
  EXPECT_TRUE(protocol::SetupFlashProfile(bench.ctx, format, staged.state, staging.data(),
                                          kWorkBufferLength));
  staged.copy.assign(staging.begin(), staging.begin() + staged.state.ProfileLength);
  bench.drive.ClearTranscript();
  return staged;
}

TEST(ReadVerifyProfile, ExtendedFormatComparesTheCopyWithThePool) {
  SimBench bench({.flashChipId = {0xBF, 0xD6, 0x00, 0x02}});
  StagedProfile staged = Stage(bench, ImageFormat::ExtendedId);
  const auto verify = [&](const Bytes& copy) {
    return protocol::ReadVerifyProfile(bench.ctx, ImageFormat::ExtendedId, staged.state,
                                       copy.data(), static_cast<std::uint32_t>(copy.size()));
  };
  EXPECT_TRUE(verify(staged.copy));

  Bytes damaged = staged.copy;
  damaged.back() ^= 0x01;
  EXPECT_FALSE(verify(damaged));
  EXPECT_TRUE(bench.Sent().empty());
  EXPECT_TRUE(bench.Shown().empty());

  // A copy that cannot hold the profile is refused instead of read past.
  Bytes shortCopy(staged.copy.begin(), staged.copy.end() - 1);
  EXPECT_FALSE(verify(shortCopy));
  EXPECT_TRUE(bench.Sent().empty());
}

TEST(ReadVerifyProfile, StateWithoutAProfileNeverReadsPastThePool) {
  SimBench bench({.flashChipId = {0xBF, 0xB7, 0x00, 0x00}});
  StagedProfile staged = Stage(bench, ImageFormat::ExtendedId);
  ASSERT_FALSE(staged.state.ProfileMatched);
  EXPECT_FALSE(protocol::ReadVerifyProfile(bench.ctx, ImageFormat::ExtendedId, staged.state,
                                           staged.copy.data(),
                                           static_cast<std::uint32_t>(staged.copy.size())));
}

TEST(ReadVerifyProfile, CriticalFormatReadsTheProfileBack) {
  SimBench bench({.flashChipId = {0xDA, 0xC8, 0x00, 0x00}});
  StagedProfile staged = Stage(bench, ImageFormat::CriticalEntry);
  const auto verify = [&] {
    return protocol::ReadVerifyProfile(bench.ctx, ImageFormat::CriticalEntry, staged.state,
                                       staged.copy.data(),
                                       static_cast<std::uint32_t>(staged.copy.size()));
  };
  EXPECT_TRUE(verify());
  EXPECT_EQ(bench.Sent(), std::vector<std::string>{"3C 01 01 08 00 00 00 01 3A 00 00 00 in 314"});

  bench.drive.InjectFault({.kind = sim::FaultKind::CorruptReadBack,
                           .when = sim::FaultTrigger::OnOpcode(0x3C).Nth(1),
                           .byteIndex = 313});
  EXPECT_FALSE(verify());
  EXPECT_EQ(bench.Shown(), std::vector<std::string>{"Compared profile error!"});
}

TEST(EntryCritical, SendsTheCriticalEntryCommand) {
  SimBench bench;
  EXPECT_TRUE(protocol::EntryCritical(bench.ctx));
  EXPECT_EQ(bench.Sent(), std::vector<std::string>{"3B 05 01 00 00 00 00 00 00 7F 00 00 in 0"});
  EXPECT_TRUE(bench.drive.CriticalEntered());
}

TEST(FlashProfileCommands, FailuresShowPrefixAndSenseText) {
  using Run = std::function<bool(SimBench&)>;
  struct Case {
    const char* name;
    Run run;
    std::uint8_t opcode;
    std::string prefix;
    std::size_t sent;  // commands sent by run, the failing one included
  };
  const auto setup = [](SimBench& bench) {
    Bytes staging(kWorkBufferLength);
    ProfileState state;
    return protocol::SetupFlashProfile(bench.ctx, ImageFormat::CriticalEntry, state, staging.data(),
                                       kWorkBufferLength);
  };
  const auto readBack = [](SimBench& bench) {
    StagedProfile staged = Stage(bench, ImageFormat::CriticalEntry);
    return protocol::ReadVerifyProfile(bench.ctx, ImageFormat::CriticalEntry, staged.state,
                                       staged.copy.data(),
                                       static_cast<std::uint32_t>(staged.copy.size()));
  };
  const Case cases[] = {
      {"read flash ID", setup, 0xDF, "Read Flash ID> ", 1},
      {"profile write", setup, 0x3B, "Write Profile> ", 2},
      {"profile read-back", readBack, 0x3C, "Read Profile> ", 1},
      {"critical entry", [](SimBench& b) { return protocol::EntryCritical(b.ctx); }, 0x3B,
       "Entry critical> ", 1},
  };
  for (const Case& c : cases) {
    for (const sim::FaultKind kind : kFailingKinds) {
      SCOPED_TRACE(std::string(c.name) + " fault " + std::to_string(static_cast<int>(kind)));
      SimBench bench;
      bench.Fail(kind, sim::FaultTrigger::OnOpcode(c.opcode));
      EXPECT_FALSE(c.run(bench));
      ASSERT_EQ(bench.Shown().size(), 1U);
      EXPECT_EQ(bench.Shown()[0].rfind(c.prefix, 0), 0U) << bench.Shown()[0];
      if (kind == sim::FaultKind::Sense) {
        EXPECT_EQ(bench.Shown()[0], c.prefix + std::string(kHardwareErrorText));
      }
      EXPECT_EQ(bench.Sent().size(), c.sent);
    }
  }
}

}  // namespace
