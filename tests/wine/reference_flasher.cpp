// Builds a flasher from any generic executable with this (Linux) build's
// builder, so that a flasher written by another build of the program can be
// compared with it byte for byte:
//   reference_flasher GENERIC_EXE MODEL_FILE MODEL_INDEX FIRMWARE_FILE OUTPUT_DIR
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalogue/embedded_block.h"
#include "catalogue/flasher_builder.h"
#include "catalogue/ini_file.h"
#include "catalogue/model_catalogue.h"

namespace {

class SilentReporter : public BuildReporter {
 public:
  void SetStatus(const std::string&) override {}
  void SetupProgress(std::uint32_t, std::uint32_t) override {}
  void StepProgress(std::uint32_t) override {}
  void SetProgress(std::uint32_t) override {}
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "reference_flasher: %s\n", text.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  constexpr int kArguments = 6;
  if (argc != kArguments) {
    std::fprintf(stderr, "usage: %s GENERIC_EXE MODEL_FILE MODEL_INDEX FIRMWARE_FILE OUTPUT_DIR\n",
                 argv[0]);
    return 2;
  }
  IniFile ini;
  if (!IniFile::Load(argv[2], ini)) {
    std::fprintf(stderr, "reference_flasher: cannot read %s\n", argv[2]);
    return 1;
  }
  const std::size_t index = std::strtoul(argv[3], nullptr, 10);
  BuildRequest request;
  request.model = ReadModelSection(ini, ModelSectionName(index));
  NormaliseModel(request.model);
  const std::filesystem::path firmware = argv[4];
  request.chosenName = firmware.filename().string();
  request.firmwarePath = firmware.string();
  request.executablePath = argv[1];
  request.outputDirectory = argv[5];
  request.marker = OwnEmbeddedBlock().marker;
  SilentReporter reporter;
  return NewBuildFlashProgram(request, reporter) ? 0 : 1;
}
