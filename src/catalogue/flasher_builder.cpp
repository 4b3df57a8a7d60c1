#include "catalogue/flasher_builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "catalogue/embedded_block.h"
#include "common/fixed_text.h"

namespace fs = std::filesystem;

namespace {

// Positions p in [from, to) that are multiples of the progress step: the
// one-step-per-1024-bytes rule of a byte-by-byte copy, counted in one go.
std::uint32_t StepsBetween(std::size_t from, std::size_t to) {
  auto ceilDiv = [](std::size_t v) { return (v + kBuildProgressStep - 1) / kBuildProgressStep; };
  return to > from ? static_cast<std::uint32_t>(ceilDiv(to) - ceilDiv(from)) : 0;
}

// Reads a regular file whole, unless it is longer than `limit`: then only
// its length is taken, so an oversize file is refused without loading it.
bool ReadWholeFile(const fs::path& path, std::vector<unsigned char>& bytes, std::uintmax_t& length,
                   std::uintmax_t limit) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  length = static_cast<std::uintmax_t>(in.tellg());
  if (length > limit) return true;
  in.seekg(0);
  bytes.resize(static_cast<std::size_t>(length));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<std::uintmax_t>(in.gcount()) == length;
}

std::array<unsigned char, kRecordBodySize> RecordBody(const BuildRequest& request,
                                                      std::uint32_t imageSize) {
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
  at += kBinNameSize + 3;  // three reserved zero bytes
  for (int shift = 0; shift < 32; shift += 8)
    body[at++] = static_cast<unsigned char>(imageSize >> shift);
  return body;
}

// A name in the output directory that no file has yet.
fs::path TemporaryPathFor(const fs::path& directory, const std::string& finalName) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        directory / ("~" + finalName + "." + std::to_string(random() % 1000000000) + ".tmp");
    std::error_code ec;
    if (!fs::exists(candidate, ec) && !ec) return candidate;
  }
  return {};
}

// The final rename would swap out whatever holds the output name, so it may
// only meet a file the user could have overwritten anyway. Never the program
// being copied (building SM01.bin from a generic SM01.EXE would silently turn
// the program into a flasher), never anything but a regular file, and never a
// file the user may not write. Root may write any file, so one that grants
// nobody write permission counts as read-only, the way Windows honours its
// read-only attribute even for an administrator.
bool MayReplace(const fs::path& output, const fs::path& program) {
  std::error_code ec;
  const fs::file_status status = fs::status(output, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec || !fs::is_regular_file(status)) return false;
  if (fs::equivalent(output, program, ec) || ec) return false;
  constexpr fs::perms kAnyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((status.permissions() & kAnyWrite) == fs::perms::none) return false;
  // Appending nothing changes nothing, but fails where a write would.
  return static_cast<bool>(std::ofstream(output, std::ios::binary | std::ios::app));
}

bool WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace

std::string FlasherFileName(const std::string& chosenName) {
  return chosenName.substr(0, 4) + ".EXE";
}

bool NewBuildFlashProgram(const BuildRequest& request, BuildReporter& reporter) {
  const std::string& name = request.chosenName;
  const std::string outputName = FlasherFileName(name);
  reporter.SetStatus("Building " + name + "  Please wait... ");

  std::vector<unsigned char> image;
  std::uintmax_t imageLength = 0;
  if (!ReadWholeFile(request.firmwarePath, image, imageLength, kImageCapacity)) {
    reporter.ShowMessage("Open " + name + " fail!");
    return false;
  }
  if (imageLength > kImageCapacity) {
    reporter.ShowMessage("Firmware file " + name + " is " + std::to_string(imageLength) +
                         " bytes long.\nA flasher can carry at most " +
                         std::to_string(kImageCapacity) + " bytes; nothing was built.");
    return false;
  }

  std::vector<unsigned char> output;
  std::uintmax_t exeFileLength = 0;
  if (!ReadWholeFile(request.executablePath, output, exeFileLength, UINT32_MAX)) {
    reporter.ShowMessage("Open " + request.executablePath.string() + " fail!");
    return false;
  }
  const std::size_t exeLength = output.size();
  const std::string exeName = request.executablePath.filename().string();
  reporter.SetupProgress(static_cast<std::uint32_t>(exeLength), kBuildProgressStep);

  const fs::path outputPath = request.outputDirectory / outputName;
  const fs::path temporary = TemporaryPathFor(request.outputDirectory, outputName);
  std::error_code ec;
  auto discard = [&] {
    if (!temporary.empty()) fs::remove(temporary, ec);
  };
  if (!MayReplace(outputPath, request.executablePath) || temporary.empty() ||
      !std::ofstream(temporary, std::ios::binary | std::ios::trunc)) {
    discard();
    reporter.ShowMessage("Create " + outputName + " Fail");
    return false;
  }

  const auto markerAt =
      std::search(output.begin(), output.end(), request.marker, request.marker + kMarkerSize);
  const std::size_t bodyAt = static_cast<std::size_t>(markerAt - output.begin()) + kMarkerSize;
  reporter.StepProgress(StepsBetween(0, std::min(bodyAt, exeLength)));
  if (markerAt == output.end()) {
    discard();
    reporter.ShowMessage("Building fail: not found key-word in " + exeName);
    return false;
  }

  const std::size_t imageAt = bodyAt + kRecordBodySize;
  if (imageAt + image.size() > exeLength) {
    discard();
    reporter.ShowMessage("Building fail: some problem in " + exeName);
    return false;
  }
  // The copy is patched in memory and written in one go.
  const auto body = RecordBody(request, static_cast<std::uint32_t>(image.size()));
  std::copy(body.begin(), body.end(), output.begin() + static_cast<std::ptrdiff_t>(bodyAt));
  std::copy(image.begin(), image.end(), output.begin() + static_cast<std::ptrdiff_t>(imageAt));
  reporter.StepProgress(static_cast<std::uint32_t>(image.size() / kBuildProgressStep));
  reporter.StepProgress(StepsBetween(imageAt + image.size(), exeLength));

  if (!WriteFile(temporary, output) || fs::file_size(temporary, ec) != exeLength) {
    discard();
    reporter.ShowMessage("Building fail: some problem in " + exeName);
    return false;
  }
  // A flasher runs like the program that made it.
  fs::permissions(temporary, fs::status(request.executablePath, ec).permissions(),
                  fs::perm_options::replace, ec);
  fs::rename(temporary, outputPath, ec);
  if (ec) {
    discard();
    reporter.ShowMessage("Create " + outputName + " Fail");
    return false;
  }
  reporter.SetStatus("Build " + outputName + " complete!");
  reporter.SetProgress(0);
  return true;
}
