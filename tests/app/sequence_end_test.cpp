// How a flash sequence ends towards the machine: no flash start after the
// computer slept under a loaded drive, and the front-end's hold on the
// session given up before the restart is asked for.
#include <gtest/gtest.h>

#include <deque>

#include "app/sleep_watch.h"
#include "flasher_fixture.h"

namespace {

constexpr std::uint32_t kImage = 2 * 16384;
constexpr std::int64_t kSecond = 1'000'000'000;
const char* const kSleptBox = "box error ok";
const std::string kFlashStart = "3B 05 01 00 00 00 00 00 00 80 00 00";

// Forwards to the console and notes, with the restart requests, when the
// sequence said it had left the drive alone.
class RecordingHost final : public FormHost {
 public:
  RecordingHost(FormHost& inner, std::vector<std::string>& events)
      : inner_(inner), events_(events) {}
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override {
    return inner_.ShowMessage(text, kind, buttons);
  }
  void SetCursor(CursorShape cursor) override { inner_.SetCursor(cursor); }
  void Repaint() override { inner_.Repaint(); }
  void CloseWindow() override { inner_.CloseWindow(); }
  void PostQuit() override { inner_.PostQuit(); }
  void SequenceEnded() override { events_.push_back("sequence ended"); }

 private:
  FormHost& inner_;
  std::vector<std::string>& events_;
};

struct FlashRun {
  std::vector<std::string> lines;
  std::vector<std::string> events;
  std::vector<std::string> transcript;
};

// One flasher run over one family drive; `environment` adjusts what the
// harness provides.
FlashRun FlashOnce(const std::string& input,
                   const std::function<void(FormEnvironment&)>& environment) {
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kImage, ImageFormat::Plain);
  FlashRun run;
  FormEnvironment env = h.Environment();
  env.restartSystem = [&run] {
    run.events.push_back("restart");
    return false;
  };
  environment(env);

  std::istringstream in(input);
  std::ostringstream out;
  StreamLines streams(in, out);
  ConsoleFrontEnd ui(streams);
  RecordingHost host(ui, run.events);
  CDDrive::SetDialogSink(&ui);
  TFlashForm form(host, &ui, env);
  form.FormCreate();
  ui.Run(form);
  form.FormDestroy();
  CDDrive::SetDialogSink(nullptr);
  run.lines = SplitLines(out.str());
  run.transcript = drive.TranscriptText();
  return run;
}

bool SentFlashStart(const FlashRun& run) {
  for (const std::string& line : run.transcript) {
    if (line.rfind(kFlashStart, 0) == 0) return true;
  }
  return false;
}

struct SleepCase {
  const char* name;
  std::deque<std::int64_t> gaps;  // what the clock gap reads, call by call
  bool slept;
};

void PrintTo(const SleepCase& c, std::ostream* os) { *os << c.name; }

const SleepCase kSleepCases[] = {
    {"NoSleep", {0, 0}, false},
    {"SleptWhileTheDramWasLoaded", {0, 5 * kSecond}, true},
    // Before the first write nothing was in the DRAM to lose.
    {"SleptBeforeTheDownload", {5 * kSecond, 5 * kSecond}, false},
    {"ClockReadingsWanderALittle", {0, kSecond / 1000}, false},
};

class SleepBeforeFlashStart : public ::testing::TestWithParam<SleepCase> {};

TEST_P(SleepBeforeFlashStart, SendsNoFlashStartAfterASleep) {
  const SleepCase& c = GetParam();
  auto gaps = std::make_shared<std::deque<std::int64_t>>(c.gaps);
  // The slept box is answered OK, the restart question No.
  const char* const input =
      c.slept ? "yes\npress\nyes\nok\nclose\n" : "yes\npress\nyes\nno\nclose\n";
  const FlashRun run = FlashOnce(input, [&](FormEnvironment& env) {
    env.watchSleep = [gaps] {
      return std::make_unique<SleepGapWatch>([gaps] {
        const std::int64_t gap = gaps->front();
        if (gaps->size() > 1) gaps->pop_front();
        return gap;
      });
    };
  });
  EXPECT_EQ(SentFlashStart(run), !c.slept);
  const auto statuses = Grep(run.lines, "status: ");
  ASSERT_FALSE(statuses.empty());
  if (c.slept) {
    EXPECT_EQ(statuses.back(), "Read back and Verify drive's DRAM... , Fail! ");
    EXPECT_NE(BoxText(run.lines, kSleptBox).find("The computer slept"), std::string::npos);
    // Every piece was still written and read back: the sleep is found at the end.
    EXPECT_EQ(Grep(run.transcript, "3C 01 01").size(), 2u);
  } else {
    EXPECT_EQ(statuses.back(), "Flash Completed.");
    EXPECT_EQ(BoxText(run.lines, kSleptBox), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Clocks, SleepBeforeFlashStart, ::testing::ValuesIn(kSleepCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SleepWatch, TheSystemsWatchSeesNoSleepAtOnce) {
  const std::unique_ptr<SleepWatch> watch = WatchSleep();
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->Slept());
}

TEST(RestartAfterFlash, TheSequenceEndsBeforeTheRestartAndARefusalIsTold) {
  const FlashRun run = FlashOnce("yes\npress\nyes\nyes\nok\nclose\n", [](FormEnvironment&) {});
  EXPECT_EQ(run.events, (std::vector<std::string>{"sequence ended", "restart"}));
  EXPECT_NE(BoxText(run.lines, "box warning ok").find("Please restart it yourself"),
            std::string::npos);
}

}  // namespace
