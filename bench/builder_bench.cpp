// How much a flasher build costs next to a plain copy of the same executable.
// It measures and prints; it never fails on a timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "catalogue/embedded_block.h"
#include "catalogue/flasher_builder.h"

namespace fs = std::filesystem;

namespace {

class QuietReporter final : public BuildReporter {
 public:
  void SetStatus(const std::string&) override {}
  void SetupProgress(std::uint32_t, std::uint32_t) override {}
  void StepProgress(std::uint32_t) override {}
  void SetProgress(std::uint32_t) override {}
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

void PlainCopy(const fs::path& from, const fs::path& to) {
  std::ifstream in(from, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::ofstream(to, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <typename F>
double BestSeconds(int rounds, F&& f) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / "flash-builder-bench";
  fs::create_directories(dir);
  const fs::path exe = FLASH_EXECUTABLE;
  std::ofstream(dir / "BNCH.bin", std::ios::binary)
      .write(std::vector<char>(256 * 1024, 'x').data(), 256 * 1024);

  BuildRequest request;
  request.model = {
      "Model", "VENDOR  PRODUCT         ", "AB10-AB1Z", "-", "----", "-", "----", "*.bin", "Acme",
      ""};
  request.chosenName = "BNCH.bin";
  request.firmwarePath = dir / "BNCH.bin";
  request.executablePath = exe;
  request.outputDirectory = dir;
  request.marker = OwnEmbeddedBlock().marker;
  QuietReporter reporter;

  constexpr int kRounds = 30;
  const double copy = BestSeconds(kRounds, [&] { PlainCopy(exe, dir / "copy.EXE"); });
  const double build = BestSeconds(kRounds, [&] { NewBuildFlashProgram(request, reporter); });
  std::printf("executable: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(exe)));
  std::printf("plain copy: %.3f ms\nbuild:      %.3f ms\nratio:      %.2f (aim: at most 1.5)\n",
              copy * 1e3, build * 1e3, build / copy);
  fs::remove_all(dir);
  return 0;
}
