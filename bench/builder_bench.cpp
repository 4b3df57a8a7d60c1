// How much a flasher build costs next to a plain copy of the same executable.
// It measures and prints; it never fails on a timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

// A plain copy as any program makes it: read the file, write a new one.
void PlainCopy(const fs::path& from, const fs::path& to) {
  std::ifstream in(from, std::ios::binary | std::ios::ate);
  std::vector<char> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::ofstream(to, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The system's own file copy, which never brings the bytes to the program.
void SystemCopy(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
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
  request.firmwarePath = (dir / "BNCH.bin").string();
  request.executablePath = exe.string();
  request.outputDirectory = dir.string();
  request.marker = OwnEmbeddedBlock().marker;
  QuietReporter reporter;

  constexpr int kRounds = 30;
  const double copy = BestSeconds(kRounds, [&] { PlainCopy(exe, dir / "copy.EXE"); });
  const double system = BestSeconds(kRounds, [&] { SystemCopy(exe, dir / "system.EXE"); });
  const double build = BestSeconds(kRounds, [&] { NewBuildFlashProgram(request, reporter); });
  std::printf("executable: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(exe)));
  std::printf("plain copy (read, write): %.3f ms\n", copy * 1e3);
  std::printf("system copy (copy_file): %.3f ms\n", system * 1e3);
  std::printf("build:                   %.3f ms\n", build * 1e3);
  std::printf("build / plain copy:  %.2f (aim: at most 1.5)\n", build / copy);
  std::printf("build / system copy: %.2f\n", build / system);
  fs::remove_all(dir);
  return 0;
}
