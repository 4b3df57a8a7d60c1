#include "catalogue/flasher_builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "catalogue/build_file.h"
#include "catalogue/embedded_block.h"
#include "catalogue/path_text.h"
#include "common/fixed_text.h"

namespace {

// Positions p in [from, to) that are multiples of the progress step: the
// one-step-per-1024-bytes rule of a byte-by-byte copy, counted in one go.
std::uint32_t StepsBetween(std::size_t from, std::size_t to) {
  auto ceilDiv = [](std::size_t v) { return (v + kBuildProgressStep - 1) / kBuildProgressStep; };
  return to > from ? static_cast<std::uint32_t>(ceilDiv(to) - ceilDiv(from)) : 0;
}

// The body without its checksum, which covers the body and the region and is
// stored once both are in place.
std::array<unsigned char, kRecordBodySize> RecordBody(const BuildRequest& request,
                                                      const std::vector<unsigned char>& image) {
  std::array<unsigned char, kRecordBodySize> body{};
  std::size_t at = 0;
  for (std::size_t field = 0; field < kRecordTextFields; ++field) {
    const std::string& value = request.model[field];
    // Normalised values hold at most 24 characters; the cut keeps the NUL
    // even if a caller forgot.
    std::memcpy(&body[at], value.data(), std::min(value.size(), kRecordFieldSize - 1));
    at += kRecordFieldSize;
  }
  const std::string binName = fixed_text::UpperAscii(request.chosenName);
  std::memcpy(&body[at], binName.data(), std::min(binName.size(), kBinNameSize));
  at += kBinNameSize;
  at += kImageCrcSize;
  const auto imageSize = static_cast<std::uint32_t>(image.size());
  for (int shift = 0; shift < 32; shift += 8)
    body[at++] = static_cast<unsigned char>(imageSize >> shift);
  return body;
}

// The final rename would swap out whatever holds the output name, so it may
// only meet a file the user could have overwritten anyway, and never one the
// build reads: not the program being copied (building SM01.bin from a
// generic SM01.EXE would silently turn the program into a flasher), not the
// firmware file (FW01.EXE under the mask "*.*" would be replaced by the
// flasher made from it). On Windows a name that differs only in case is the
// same file too.
bool MayReplace(const std::string& output, const build_file::LoadedFile& firmware,
                const BuildRequest& request, const build_file::LoadedFile& program) {
  const build_file::ExistingOutput existing = build_file::InspectOutput(output);
  if (existing.state == build_file::OutputState::Absent) return true;
  return existing.state == build_file::OutputState::Replaceable &&
         !build_file::SameFile(existing.identity, firmware.identity) &&
         !build_file::SameFile(existing.identity, program.identity) &&
         !build_file::SameName(output, request.firmwarePath) &&
         !build_file::SameName(output, request.executablePath);
}

// A copy whose image region still begins with the key word starts as the
// builder again, whatever record it carries: an empty image leaves the key
// word untouched, and an image that begins with it (or with its first bytes,
// the rest coming from the region behind) writes it back.
bool KeepsKeyWord(const std::vector<unsigned char>& image) {
  const std::size_t overlap = std::min(image.size(), sizeof kKeyWord);
  return std::equal(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(overlap),
                    reinterpret_cast<const unsigned char*>(kKeyWord));
}

}  // namespace

std::string FlasherFileName(const std::string& chosenName) {
  return chosenName.substr(0, LeadingCharactersLength(chosenName, 4)) + ".EXE";
}

bool NewBuildFlashProgram(const BuildRequest& request, BuildReporter& reporter) {
  const std::string& name = request.chosenName;
  const std::string outputName = FlasherFileName(name);
  reporter.SetStatus("Building " + name + "  Please wait... ");

  build_file::LoadedFile firmware;
  if (!build_file::LoadFile(request.firmwarePath, kImageCapacity, firmware)) {
    reporter.ShowMessage("Open " + name + " fail!");
    return false;
  }
  if (firmware.length > kImageCapacity) {
    reporter.ShowMessage("Firmware file " + name + " is " + std::to_string(firmware.length) +
                         " bytes long.\nA flasher can carry at most " +
                         std::to_string(kImageCapacity) + " bytes; nothing was built.");
    return false;
  }
  const std::vector<unsigned char>& image = firmware.bytes;
  if (image.empty()) {
    reporter.ShowMessage("Firmware file " + name +
                         " is empty.\nA flasher needs a firmware image; nothing was built.");
    return false;
  }
  if (KeepsKeyWord(image)) {
    reporter.ShowMessage("Firmware file " + name +
                         " would make a flasher whose image begins with \"" +
                         std::string(kKeyWord, sizeof kKeyWord) +
                         "\",\nthe mark of the unbuilt program: it would start as the builder; "
                         "nothing was built.");
    return false;
  }

  build_file::LoadedFile program;
  if (!build_file::LoadFile(request.executablePath, UINT32_MAX, program) ||
      program.length > UINT32_MAX) {
    reporter.ShowMessage("Open " + request.executablePath + " fail!");
    return false;
  }
  std::vector<unsigned char>& output = program.bytes;
  const std::size_t exeLength = output.size();
  const std::string exeName = FileNamePart(request.executablePath);
  reporter.SetupProgress(static_cast<std::uint32_t>(exeLength), kBuildProgressStep);

  const std::string outputPath = JoinPath(request.outputDirectory, outputName);
  build_file::TemporaryFile temporary;  // removed on every way out but success
  if (!MayReplace(outputPath, firmware, request, program) ||
      !temporary.Create(request.outputDirectory, outputName, program.permissions)) {
    reporter.ShowMessage("Create " + outputName + " Fail");
    return false;
  }

  const auto markerAt =
      std::search(output.begin(), output.end(), request.marker, request.marker + kMarkerSize);
  const std::size_t bodyAt = static_cast<std::size_t>(markerAt - output.begin()) + kMarkerSize;
  reporter.StepProgress(StepsBetween(0, std::min(bodyAt, exeLength)));
  if (markerAt == output.end()) {
    reporter.ShowMessage("Building fail: not found key-word in " + exeName);
    return false;
  }

  const std::size_t imageAt = bodyAt + kRecordBodySize;
  // The checksum reads the whole region, so all of it must be in the file.
  if (imageAt + kImageCapacity > exeLength) {
    reporter.ShowMessage("Building fail: some problem in " + exeName);
    return false;
  }
  // The copy is patched in memory and written in one go.
  const auto body = RecordBody(request, image);
  std::copy(body.begin(), body.end(), output.begin() + static_cast<std::ptrdiff_t>(bodyAt));
  std::copy(image.begin(), image.end(), output.begin() + static_cast<std::ptrdiff_t>(imageAt));
  unsigned char crc[kImageCrcSize];
  StoreImageCrc(
      RecordChecksum(
          std::span<const unsigned char, kRecordBodySize>(&output[bodyAt], kRecordBodySize),
          std::span<const unsigned char, kImageCapacity>(&output[imageAt], kImageCapacity)),
      crc);
  std::copy(std::begin(crc), std::end(crc),
            output.begin() + static_cast<std::ptrdiff_t>(bodyAt + kBodyCrcAt));
  reporter.StepProgress(static_cast<std::uint32_t>(image.size() / kBuildProgressStep));
  reporter.StepProgress(StepsBetween(imageAt + image.size(), exeLength));

  std::string reason;
  if (!temporary.Write(output.data(), output.size(), reason)) {
    reporter.ShowMessage("Building fail: cannot write " + outputName + " (" + reason +
                         ").\nNothing was left behind; make room for the file and build again.");
    return false;
  }
  switch (temporary.MoveTo(outputPath)) {
    case build_file::MoveResult::Moved:
      break;
    case build_file::MoveResult::Failed:
      reporter.ShowMessage("Create " + outputName + " Fail");
      return false;
    case build_file::MoveResult::FailedKeptIt:
      reporter.ShowMessage("Create " + outputName + " Fail\nThe complete flasher was kept as " +
                           temporary.Path() + "\nRename it to " + outputName + ".");
      return false;
  }
  reporter.SetStatus("Build " + outputName + " complete!");
  reporter.SetProgress(0);
  return true;
}
