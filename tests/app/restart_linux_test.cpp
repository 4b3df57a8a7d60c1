// The Linux restart: the system's own clean restart commands, never the kernel's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/os_services_linux.h"

namespace {

int kernelRestarts = 0;

}  // namespace

// Stands in for the C library's reboot(2) in this program, so a restart
// through the kernel is counted here instead of carried out.
extern "C" int reboot(int) noexcept {
  ++kernelRestarts;
  return 0;
}

namespace {

TEST(Restart, TriesTheCleanCommandsInTurnAndNeverTheKernel) {
  struct Case {
    const char* name;
    int acceptingCommand;  // index of the first command that succeeds, -1 none
    bool restarted;
    std::size_t tried;
  };
  const Case cases[] = {
      {"systemd", 0, true, 1},
      {"no systemd", 1, true, 2},
      {"only the reboot command", 2, true, 3},
      {"every command refused", -1, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kernelRestarts = 0;
    std::vector<std::string> tried;
    const bool restarted = RequestCleanRestart([&](const char* command) {
      tried.emplace_back(command);
      return static_cast<int>(tried.size()) - 1 == c.acceptingCommand ? 0 : 256;
    });
    EXPECT_EQ(restarted, c.restarted);
    ASSERT_EQ(tried.size(), c.tried);
    EXPECT_EQ(tried.front().rfind("systemctl reboot", 0), 0u) << tried.front();
    for (const std::string& command : tried) {
      EXPECT_EQ(command.find(" -f"), std::string::npos) << "a forced restart: " << command;
    }
    EXPECT_EQ(kernelRestarts, 0);
  }
}

}  // namespace
