// The console protocol's text escape and command parser, and that data from
// a drive or a file name can never forge a protocol line.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/flasher_fixture.h"
#include "ui/console/console_command.h"
#include "ui/console/console_text.h"

namespace {

// A builder's model description whose one model takes *.bin files.
constexpr char kBinFilesModel[] =
    "[MODEL00]\nModel=M\nInquiry10=--\nFW-Range10=---------\nInquiry20=-\n"
    "FW-Range20=----\nInquiry30=-\nFW-Range30=----\nBINMask=*.bin\nVendor=V\nNote=\n";

TEST(ConsoleText, EscapesEveryControlCharacterAndRoundTrips) {
  struct Case {
    std::string raw;
    std::string escaped;
  };
  const Case cases[] = {
      {"plain text, spaces kept  ", "plain text, spaces kept  "},
      {"a\nstatus: Flash Completed.", "a\\nstatus: Flash Completed."},
      {"C:\\TOOLS\\SM01.bin", "C:\\\\TOOLS\\\\SM01.bin"},
      {"\r\t", "\\r\\t"},
      {std::string("\0\x1b\x7f", 3), "\\x00\\x1B\\x7F"},
      {"\x80\xff", "\x80\xff"},  // bytes above ASCII pass as they are
      {"\\n", "\\\\n"},          // a literal backslash-n is not a line break
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(EscapeConsoleText(c.raw), c.escaped);
    EXPECT_EQ(UnescapeConsoleText(c.escaped), c.raw);
  }
  // What starts no known escape is kept as typed.
  EXPECT_EQ(UnescapeConsoleText("a\\qb\\x4\\xZZ\\"), "a\\qb\\x4\\xZZ\\");
}

TEST(ConsoleCommand, ParsesEachVerb) {
  using Verb = ConsoleCommand::Verb;
  struct Case {
    std::string line;
    Verb verb;
    int index;
    std::string text;
  };
  const Case cases[] = {
      {"", Verb::None, 0, ""},
      {"select 3", Verb::Select, 3, ""},
      {"select -1", Verb::Select, -1, ""},
      {"select", Verb::Invalid, 0, "select needs an item number"},
      {"select 2x", Verb::Invalid, 0, "select needs an item number"},
      {"select 99999999999", Verb::Invalid, 0, "select needs an item number"},
      {"type  two  spaces", Verb::Type, 0, " two  spaces"},
      {"type", Verb::Type, 0, ""},
      {"click a\\nb.bin", Verb::Click, 0, "a\nb.bin"},
      {"press", Verb::Press, 0, ""},
      {"close", Verb::Close, 0, ""},
      {"PRESS", Verb::Invalid, 0, "unknown command: PRESS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const ConsoleCommand command = ParseConsoleCommand(c.line);
    EXPECT_EQ(command.verb, c.verb);
    EXPECT_EQ(command.index, c.index);
    EXPECT_EQ(command.text, c.text);
  }
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ConsoleProtocol, ADriveCannotForgeALine) {
  sim::SimMachine machine;
  sim::DriveConfig drive;
  drive.vendor = "ACME\nsta";
  drive.product = "tus: Flash Compl";
  drive.revision = "AB15";
  machine.AddDrive(drive);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, 16384, ImageFormat::Plain);
  SetField(*h.block, RecordField::Inquiry10, "--");
  SealImage(*h.block);
  const auto lines = h.Run("yes\nclose\n");
  EXPECT_TRUE(HasLine(lines, "combo add 0: 0-0-0  : ACME\\nstatus: Flash ComplAB15"));
  EXPECT_FALSE(std::any_of(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("status:", 0) == 0; }));
}

TEST(ConsoleProtocol, AFileNameIsShownEscapedAndClickedByThatName) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows file names cannot hold a line break";
#endif
  FormHarness h(true);
  h.dir.Write("flash.INI", kBinFilesModel);
  h.dir.Write("x\nstatus: y.bin", "data");
  const auto lines = h.Run("click x\\nstatus: y.bin\n");
  EXPECT_TRUE(HasLine(lines, "file: x\\nstatus: y.bin"));
  EXPECT_EQ(h.form->ChosenFile(), "x\nstatus: y.bin");
}

TEST(ConsoleProtocol, ANameNotInTheListChoosesNothing) {
  FormHarness h(true);
  h.dir.Write("flash.INI", kBinFilesModel);
  h.dir.Write("SM01.bin", "data");
  const auto lines = h.Run("click nosuch.bin\npress\n");
  EXPECT_TRUE(HasLine(lines, "error: no file nosuch.bin"));
  EXPECT_TRUE(HasLine(lines, "error: button disabled")) << "Build was enabled";
  EXPECT_EQ(h.form->ChosenFile(), "");
}

TEST(ConsoleProtocol, AnOverlongInputLineIsRefusedWholeAndTheNextOneTaken) {
  constexpr std::size_t kLimit = 64 * 1024;
  const std::string refused = "error: line longer than 65536 bytes, ignored";
  struct Case {
    const char* name;
    std::string line;
    bool accepted;
  };
  const std::string typed = "type ";
  // The tail beyond the limit reads as a command of its own if the line is
  // only cut, not discarded.
  const std::string overlong = typed + std::string(kLimit - typed.size(), 'a') + "close";
  const Case cases[] = {
      {"at the limit", typed + std::string(kLimit - typed.size(), 'a'), true},
      {"one byte over", typed + std::string(kLimit - typed.size() + 1, 'a'), false},
      {"over, ending in a command", overlong, false},
      {"over, without a line end", overlong, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormHarness h(true);
    h.dir.Write("flash.INI", kBinFilesModel);
    const bool lastLine = std::string(c.name).find("without") != std::string::npos;
    std::string typedText;
    h.inspect = [&](TFlashForm& form) { typedText = form.ComboBox.Text(); };
    const auto lines = h.Run(lastLine ? c.line : c.line + "\ntype next\n");
    EXPECT_EQ(HasLine(lines, refused), !c.accepted);
    if (lastLine) {
      EXPECT_EQ(typedText.find('a'), std::string::npos) << "nothing of the line was taken";
    } else {
      EXPECT_EQ(typedText, "next") << "the line after it is read as usual";
    }
    EXPECT_EQ(lines.back(), "quit");
  }
}

}  // namespace
