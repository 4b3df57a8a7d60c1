// Writes a model-specific flasher: a copy of the program's own executable in
// which the record body after the marker and the start of the image region
// carry one model's values and one firmware file.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/model_catalogue.h"

// What a build shows while it runs; the form routes it to its controls.
class BuildReporter {
 public:
  virtual ~BuildReporter() = default;
  virtual void SetStatus(const std::string& text) = 0;                    // set and repaint at once
  virtual void SetupProgress(std::uint32_t max, std::uint32_t step) = 0;  // min 0, position 0
  virtual void StepProgress(std::uint32_t steps) = 0;
  virtual void SetProgress(std::uint32_t position) = 0;
  virtual void ShowMessage(const std::string& text) = 0;  // plain box, OK
};

// Paths are in the system's own code page.
struct BuildRequest {
  ModelValues model;           // normalised values of the chosen model
  std::string chosenName;      // firmware file name, without directory
  std::string firmwarePath;    // the file that is read
  std::string executablePath;  // the generic executable to copy
  std::string outputDirectory;
  const char* marker = nullptr;  // the 15 marker bytes to search for
};

inline constexpr std::uint32_t kBuildProgressStep = 1024;

// "%4.4s.EXE" of the chosen name: its first four characters (fewer when it is
// shorter), as they are, and ".EXE". A character is what LeadingCharactersLength
// counts, so a name is never cut inside one.
std::string FlasherFileName(const std::string& chosenName);

// True when the flasher was written completely. Nothing is left behind on a
// failure: the copy is written under a temporary name, reaches the disk and
// is renamed at the end. The record carries the checksum of its body and
// the image region (RecordChecksum). A firmware file that is empty, or that
// would leave the key word at the start of the region, is refused. An existing
// output is replaced only when it is a regular file the user may write and
// neither the executable being copied nor the firmware file being read;
// otherwise it stays untouched and the build fails as if the output could
// not be created.
bool NewBuildFlashProgram(const BuildRequest& request, BuildReporter& reporter);
