// Stand-in for the ASPI path of the 9x family while its own file is not part
// of the build: the layer counts as not loaded, so no drive is offered.
#include "device/cddrive.h"
#include "device/os_paths.h"

namespace {

class AbsentAspiPath : public TransportPath {
 public:
  PathSetup Setup() override {
    return {.ready = false, .failureStatus = kStatusAspiNotLoaded, .errorMessage = {}};
  }
  std::vector<DriveAddress> Candidates() override { return {}; }
  PathOpen Open(const DriveAddress& /*address*/) override { return {}; }
  std::optional<std::string> SystemErrorText(std::uint32_t /*errorCode*/) override {
    return std::nullopt;
  }
};

}  // namespace

TransportPath& AspiPath() {
  static AbsentAspiPath path;
  return path;
}
