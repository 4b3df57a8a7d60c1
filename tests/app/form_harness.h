// Drives a TFlashForm through the console front-end, as a user's script
// would, over a block and a directory of the test's own.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "catalogue/embedded_block.h"
#include "device/cddrive.h"
#include "support/stream_lines.h"
#include "support/temp_dir.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_text.h"

inline constexpr char kTestMarker[kMarkerSize] = "<FORM-MARKER!>";

inline std::unique_ptr<EmbeddedBlock> NewBlock(bool builder) {
  auto block = std::make_unique<EmbeddedBlock>();
  std::memset(block.get(), 0, sizeof(EmbeddedBlock));
  std::memcpy(block->marker, kTestMarker, kMarkerSize);
  if (builder) std::memcpy(block->image, kKeyWord, 4);
  return block;
}

inline void SetField(EmbeddedBlock& block, RecordField field, const std::string& text) {
  char* f = block.fields[static_cast<std::size_t>(field)];
  std::memset(f, 0, kRecordFieldSize);
  std::memcpy(f, text.data(), std::min(text.size(), kRecordFieldSize));
}

inline void SetBinSize(EmbeddedBlock& block, std::uint32_t size) {
  for (int b = 0; b < 4; ++b) block.binSize[b] = static_cast<unsigned char>(size >> (8 * b));
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The texts of every box that starts with `header`, in order, as the user
// reads them (the console's escapes undone: a Windows path's backslashes).
inline std::vector<std::string> BoxTexts(const std::vector<std::string>& lines,
                                         const std::string& header) {
  std::vector<std::string> texts;
  bool inside = false, first = true;
  for (const std::string& line : lines) {
    if (!inside) {
      inside = line == header;
      first = true;
      if (inside) texts.emplace_back();
      continue;
    }
    if (line == "box end") {
      inside = false;
      continue;
    }
    if (!first) texts.back() += '\n';
    texts.back() += UnescapeConsoleText(line.substr(2));
    first = false;
  }
  return texts;
}

// The text of the first box that starts with `header`, or "".
inline std::string BoxText(const std::vector<std::string>& lines, const std::string& header) {
  const auto texts = BoxTexts(lines, header);
  return texts.empty() ? std::string() : texts.front();
}

class FormHarness {
 public:
  explicit FormHarness(bool builder) : block(NewBlock(builder)) {}

  FormEnvironment Environment() {
    FormEnvironment env;
    env.block = block.get();
    env.executablePath = (dir.path() / "flash").string();
    env.workingDirectory = dir.path().string();
    env.restartSystem = [this] {
      ++restarts;
      return restartAccepted;
    };
    env.runsOnBattery = [this] {
      ++powerQueries;
      return onBattery;
    };
    env.keepRunning = [this] { return keepRunning ? keepRunning() : PowerGuard(); };
    env.sleep = [this](unsigned ms) {
      sleeps.push_back(ms);
      if (ui_) cursorsWhileSleeping.push_back(ui_->Cursor());
      if (duringSleep) duringSleep();
    };
    return env;
  }

  // Creates the form, runs its event loop on `input`, destroys it; returns
  // every line the front-end printed.
  std::vector<std::string> Run(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    StreamLines streams(in, out);
    ConsoleFrontEnd ui(streams);
    ui_ = &ui;
    CDDrive::SetDialogSink(&ui);
    form = std::make_unique<TFlashForm>(ui, &ui, Environment());
    form->FormCreate();
    ui.Run(*form);
    if (inspect) inspect(*form);
    form->FormDestroy();
    CDDrive::SetDialogSink(nullptr);
    ui_ = nullptr;
    return SplitLines(out.str());
  }

  std::unique_ptr<EmbeddedBlock> block;
  TempDir dir;
  std::unique_ptr<TFlashForm> form;
  // Runs after the event loop, while the form still owns its drives.
  std::function<void(TFlashForm&)> inspect;
  int restarts = 0;
  bool restartAccepted = true;
  bool onBattery = false;
  int powerQueries = 0;
  std::function<PowerGuard()> keepRunning;  // never the system's own lock
  std::vector<unsigned> sleeps;
  std::vector<CursorShape> cursorsWhileSleeping;
  std::function<void()> duringSleep;  // runs at each readiness pause, inside the sequence

 private:
  ConsoleFrontEnd* ui_ = nullptr;
};
