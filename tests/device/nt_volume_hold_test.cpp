// The NT family's hold on a drive for the flash sequence, against a handle
// that records each call and answers what a given system answers.
#include "device/nt_volume_hold.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "device/device_messages.h"

namespace {

constexpr std::uint32_t kNotReady = 21;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kInvalidFunction = 1;

class RecordingControl : public VolumeControl {
 public:
  explicit RecordingControl(std::map<std::string, std::uint32_t> answers)
      : answers_(std::move(answers)) {}

  std::vector<std::string> calls;

  std::uint32_t LockVolume() override { return Call("lock volume"); }
  std::uint32_t DismountVolume() override { return Call("dismount"); }
  std::uint32_t LockDevice() override { return Call("lock device"); }
  std::uint32_t NotificationOff() override { return Call("notification off"); }
  std::uint32_t NotificationOn() override { return Call("notification on"); }
  std::uint32_t UnlockDevice() override { return Call("unlock device"); }
  std::uint32_t UnlockVolume() override { return Call("unlock volume"); }

 private:
  std::uint32_t Call(const std::string& name) {
    calls.push_back(name);
    const auto answer = answers_.find(name);
    return answer == answers_.end() ? 0 : answer->second;
  }
  std::map<std::string, std::uint32_t> answers_;
};

struct HoldCase {
  const char* name;
  std::map<std::string, std::uint32_t> answers;
  std::uint32_t errorCode;  // of the claim; 0: held
  std::vector<std::string> taking;
  std::vector<std::string> givingBack;  // after Take, through GiveBack
};

void PrintTo(const HoldCase& c, std::ostream* os) { *os << c.name; }

const HoldCase kCases[] = {
    {"VistaAndLaterGrantEverything",
     {},
     0,
     {"lock volume", "dismount", "lock device", "notification off"},
     {"notification on", "unlock device", "unlock volume"}},
    // What Wine answers for a drive backed by a file.
    {"WineLocksAsAStubAndSupportsNothingElse",
     {{"dismount", kInvalidParameter},
      {"lock device", kNotSupported},
      {"notification off", kNotSupported}},
     0,
     {"lock volume", "dismount", "lock device", "notification off"},
     {"unlock volume"}},
    // XP and earlier: no exclusive access; nothing mounted to dismount.
    {"XpWithoutExclusiveAccessAndNothingMounted",
     {{"dismount", kInvalidFunction}, {"lock device", kInvalidFunction}},
     0,
     {"lock volume", "dismount", "lock device", "notification off"},
     {"notification on", "unlock volume"}},
    // An empty drive has no volume to lock; nothing is dismounted unlocked.
    {"NoVolumeToLockIsNoReasonToStop",
     {{"lock volume", kNotReady}},
     0,
     {"lock volume", "lock device", "notification off"},
     {"notification on", "unlock device"}},
    {"AFileOpenOnTheDiscRefusesTheLockAndStopsEverything",
     {{"lock volume", kNtErrorAccessDenied}},
     kNtErrorAccessDenied,
     {"lock volume"},
     {}},
    {"AnotherProgramsExclusiveAccessStopsAndGivesTheVolumeBack",
     {{"lock device", kNtErrorAccessDenied}},
     kNtErrorAccessDenied,
     {"lock volume", "dismount", "lock device", "unlock volume"},
     {}},
};

class VolumeHoldTest : public ::testing::TestWithParam<HoldCase> {};

TEST_P(VolumeHoldTest, TakesInOrderStopsOnlyForAnotherHolderAndGivesBackInReverse) {
  const HoldCase& c = GetParam();
  RecordingControl control(c.answers);
  VolumeHold hold;
  const ExclusiveClaim claim = hold.Take(control);
  EXPECT_EQ(claim.errorCode, c.errorCode);
  EXPECT_EQ(claim.inUse, c.errorCode != 0);
  // Windows has no umount: the box tells how to free the drive there.
  EXPECT_EQ(claim.inUseAdvice, claim.inUse ? kCloseProgramsAdvice : nullptr);
  EXPECT_EQ(control.calls, c.taking);

  control.calls.clear();
  hold.GiveBack(control);
  EXPECT_EQ(control.calls, c.givingBack);
  control.calls.clear();
  hold.GiveBack(control);
  EXPECT_TRUE(control.calls.empty()) << "given back twice";
}

INSTANTIATE_TEST_SUITE_P(Systems, VolumeHoldTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VolumeHold, AHandleThatWentAwayHasNothingLeftToGiveBack) {
  RecordingControl control({});
  VolumeHold hold;
  ASSERT_EQ(hold.Take(control).errorCode, 0u);
  hold.Forget();
  control.calls.clear();
  hold.GiveBack(control);
  EXPECT_TRUE(control.calls.empty());
}

}  // namespace
