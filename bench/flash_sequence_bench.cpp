// Host-side cost of a whole 320 KiB flash against a simulated drive with no
// device latency, per 16 KiB piece, next to a plain copy and compare of one
// piece on the same machine in the same run. It measures and prints only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "app/flash_form.h"
#include "sim/sim_transport.h"
#include "support/image_format_stamp.h"

namespace {

constexpr std::uint32_t kPiece = 16384;
constexpr std::uint32_t kImage = 320 * 1024;
constexpr std::uint32_t kPieces = kImage / kPiece;

// Says Yes to the warning and the update question, No to the restart.
class BenchHost final : public FormHost {
 public:
  BoxAnswer ShowMessage(const std::string& text, BoxKind, BoxButtons buttons) override {
    if (buttons == BoxButtons::Ok) {
      std::fprintf(stderr, "unexpected box: %s\n", text.c_str());
      return BoxAnswer::Ok;
    }
    return text.find("restarted") == std::string::npos ? BoxAnswer::Yes : BoxAnswer::No;
  }
  void SetCursor(CursorShape) override {}
  void Repaint() override {}
  void CloseWindow() override {}
  void PostQuit() override {}
};

void Field(EmbeddedBlock& b, RecordField f, const char* text) {
  std::strncpy(b.fields[static_cast<std::size_t>(f)], text, kRecordFieldSize - 1);
}

template <typename F>
double BestNsPerCall(int rounds, int calls, F&& f) {
  double best = 1e18;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < calls; ++c) f();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / calls);
  }
  return best;
}

}  // namespace

int main() {
  auto block = std::make_unique<EmbeddedBlock>();
  std::memset(block.get(), 0, sizeof(EmbeddedBlock));
  Field(*block, RecordField::Model, "DVD-616");
  Field(*block, RecordField::Inquiry10, "--");
  Field(*block, RecordField::FwRange10, "---------");
  Field(*block, RecordField::Vendor, "Acme");
  std::memcpy(block->binName, "AB15.", 5);
  for (int b = 0; b < 4; ++b) block->binSize[b] = static_cast<unsigned char>(kImage >> (8 * b));
  for (std::size_t i = 0; i < kImageCapacity; ++i)
    block->image[i] = static_cast<unsigned char>(i * 31 + 7);
  // A critical-entry image: every step of the sequence runs.
  StampFormat(std::span(block->image), ImageFormat::CriticalEntry);

  sim::SimMachine machine;
  sim::DriveConfig config;
  config.flashChipId = {0xDA, 0xC8, 0, 0};
  config.digestData = false;
  sim::SimDrive& drive = machine.AddDrive(config);
  sim::ScopedSimTransport path(machine);

  BenchHost host;
  FormEnvironment env;
  env.block = block.get();
  env.sleep = [](unsigned) {};
  env.restartSystem = [] { return true; };
  TFlashForm form(host, nullptr, env);
  form.FormCreate();

  const double flashNs = BestNsPerCall(5, 20, [&] {
    form.FlashButtonClick();
    drive.ClearTranscript();
  });
  std::vector<std::uint8_t> from(kPiece, 0x5A), to(kPiece);
  volatile int sink = 0;
  const double copyNs = BestNsPerCall(5, 20000, [&] {
    from[sink & 0xFF] ^= 1;  // keep the copy from being hoisted out of the loop
    std::memcpy(to.data(), from.data(), kPiece);
    sink = sink + std::memcmp(to.data(), from.data(), kPiece);
  });
  form.FormDestroy();

  const double perPiece = flashNs / kPieces;
  std::printf("flash of %u KiB: %.1f us (%u pieces, %u flash-starts)\n", kImage / 1024,
              flashNs / 1e3, kPieces, drive.FlashStarts());
  std::printf("per 16 KiB piece: %.0f ns\nplain 16 KiB copy and compare: %.0f ns\n", perPiece,
              copyNs);
  std::printf("ratio: %.1f (aim: at most 10)\n", perPiece / copyNs);
  return 0;
}
