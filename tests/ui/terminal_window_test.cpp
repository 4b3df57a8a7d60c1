// The terminal window's logic without a terminal: that its picture of the
// controls follows what they report, that keys and clicks become the right
// user actions, that the layout stays on screen, and that boxes answer as
// their keys say.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/window_picture.h"
#include "ui/terminal/cell_text.h"
#include "ui/terminal/escape_sequence.h"
#include "ui/terminal/layout.h"
#include "ui/terminal/message_box.h"
#include "ui/terminal/window_input.h"
#include "ui/terminal/window_state.h"

namespace {

// "select 2" and the like, appended: GCC 12 warns wrongly when a string is prefixed.
std::string Numbered(const char* prefix, int i, const char* suffix = "") {
  std::string text(prefix);
  text += std::to_string(i);
  text += suffix;
  return text;
}

// The terminal front-end's picture without a terminal: each change reaches
// the terminal's own state as it does in the window.
struct Screen final : PictureKeeper {
  WindowState state{Picture()};
  void PictureChanged(const PictureChange& change) override { state.Follow(change); }
};

// Acts like the form: records each action and echoes it through the real
// controls, whose reports reach the window state.
class EchoingActions final : public FormActions {
 public:
  explicit EchoingActions(ControlObserver& observer) {
    combo.SetObserver(&observer);
    button.SetObserver(&observer);
  }
  bool SelectComboItem(int index) override {
    log.push_back(Numbered("select ", index));
    combo.SetItemIndex(index);
    return true;
  }
  void TypeComboText(const std::string& text) override {
    log.push_back("type " + text);
    combo.Type(text);
  }
  bool ClickFileEntry(int index) override {
    log.push_back(Numbered("click ", index));
    return true;
  }
  bool PressFlashButton() override {
    log.push_back("press");
    return true;
  }
  void CloseByUser() override { log.push_back("close"); }

  TComboBox combo;
  TButton button;
  std::vector<std::string> log;
};

Key K(KeyName name) { return {name}; }
Key Ch(char c) { return {KeyName::Text, c}; }

struct Window {
  Window(bool builder, int items = 3, int files = 30) : actions(screen) {
    for (int i = 0; i < items; ++i) actions.combo.Add(Numbered("item", i));
    actions.combo.SetItemIndex(0);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) names.push_back(Numbered("F", i, ".bin"));
    screen.FilesReread(names);
    screen.FilesVisibilityChanged(builder);
    if (builder) actions.button.SetEnabled(false);
  }
  WindowLayout Layout() const {
    return LayoutWindow(24, 80, state.picture.filesVisible, state.picture.buttonCaption);
  }
  void Press(const std::vector<Key>& keys) {
    for (const Key& key : keys) HandleWindowKey(key, state, Layout(), 24, actions);
  }
  Screen screen;
  WindowState& state = screen.state;
  EchoingActions actions;
};

TEST(TerminalWindow, FollowsTheComboBoxThroughEveryChange) {
  Screen screen;
  WindowState& state = screen.state;
  TComboBox combo;
  combo.SetObserver(&screen);
  struct Typing final : FormActions {
    explicit Typing(TComboBox& c) : combo(c) {}
    bool SelectComboItem(int) override { return false; }
    void TypeComboText(const std::string& text) override {
      typed = text;
      combo.Type(text);
    }
    bool ClickFileEntry(int) override { return false; }
    bool PressFlashButton() override { return false; }
    void CloseByUser() override {}
    TComboBox& combo;
    std::string typed;
  } typing(combo);
  const auto same = [&] {
    EXPECT_EQ(state.picture.comboItems, combo.Items());
    EXPECT_EQ(state.picture.comboIndex, combo.ItemIndex());
    EXPECT_EQ(state.ComboText(), combo.Text());
  };
  for (const char* line : {"a", "b", "c", "d"}) combo.Add(line);
  combo.SetItemIndex(2);
  same();
  combo.Insert(2, "c2");  // the refresh of a drive's line: insert, delete the old
  combo.Delete(3);
  combo.SetItemIndex(2);
  same();
  combo.Delete(0);  // a line above the selection goes: the selection moves up
  same();
  // Typed text comes back from the control: the window shows what the form holds.
  HandleWindowKey({KeyName::End}, state, LayoutWindow(24, 80, false, "FLASH"), 24, typing);
  HandleWindowKey({KeyName::Text, 'x'}, state, LayoutWindow(24, 80, false, "FLASH"), 24, typing);
  EXPECT_EQ(typing.typed, "c2x");
  same();
  combo.SetItemIndex(0);
  combo.Delete(0);  // the selected line goes: nothing is selected
  EXPECT_EQ(state.picture.comboIndex, -1);
  EXPECT_EQ(state.picture.comboItems, combo.Items());
}

TEST(TerminalWindow, TabVisitsVisibleEnabledControlsInOrder) {
  struct Case {
    bool builder;
    bool buttonEnabled;
    std::vector<Focus> forward;  // from the combo box
  };
  const Case cases[] = {
      {true, false, {Focus::Files, Focus::Combo}},
      {true, true, {Focus::Files, Focus::Button, Focus::Combo}},
      {false, true, {Focus::Button, Focus::Combo}},
      {false, false, {Focus::Combo}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.builder << c.buttonEnabled);
    Window w(c.builder);
    w.actions.button.SetEnabled(c.buttonEnabled);
    EXPECT_EQ(w.state.focus, Focus::Combo);
    for (const Focus expected : c.forward) {
      w.Press({K(KeyName::Tab)});
      EXPECT_EQ(w.state.focus, expected);
    }
    // Shift-Tab walks back the same way.
    for (auto it = c.forward.rbegin() + 1; it != c.forward.rend(); ++it) {
      w.Press({K(KeyName::BackTab)});
      EXPECT_EQ(w.state.focus, *it);
    }
  }
}

TEST(TerminalWindow, FocusLeavesAControlThatIsDisabledOrHidden) {
  Window w(true);
  w.actions.button.SetEnabled(true);
  w.Press({K(KeyName::Tab), K(KeyName::Tab)});
  ASSERT_EQ(w.state.focus, Focus::Button);
  w.actions.button.SetEnabled(false);
  EXPECT_EQ(w.state.focus, Focus::Combo);
  w.Press({K(KeyName::Tab)});
  ASSERT_EQ(w.state.focus, Focus::Files);
  w.screen.FilesVisibilityChanged(false);
  EXPECT_EQ(w.state.focus, Focus::Combo);
}

TEST(TerminalWindow, KeysBecomeTheUsersActions) {
  struct Case {
    const char* name;
    bool builder;
    std::vector<Key> keys;
    std::vector<std::string> actions;
  };
  const Key tab = K(KeyName::Tab), down = K(KeyName::Down), up = K(KeyName::Up),
            enter = K(KeyName::Enter), space = Ch(' ');
  const Case cases[] = {
      {"next and previous item", false, {down, down, up}, {"select 1", "select 2", "select 1"}},
      {"no item before the first, none after the last",
       false,
       {up, down, down, down},
       {"select 1", "select 2"}},
      {"drop-down chosen", false, {K(KeyName::F4), down, down, enter}, {"select 2"}},
      {"drop-down by Alt-Down, cancelled",
       false,
       {K(KeyName::AltDown), down, K(KeyName::Escape)},
       {}},
      {"drop-down keeps the item: no change raised", false, {K(KeyName::F4), enter}, {}},
      {"typing edits at the caret",
       false,
       {K(KeyName::Left), Ch('X'), K(KeyName::End), K(KeyName::Backspace), K(KeyName::Home),
        K(KeyName::Delete)},
       {"type itemX0", "type itemX", "type temX"}},
      {"Backspace at the start, Delete at the end: nothing",
       false,
       {K(KeyName::Home), K(KeyName::Backspace), K(KeyName::End), K(KeyName::Delete)},
       {}},
      {"space types on the combo box", false, {space}, {"type item0 "}},
      {"file list: move, then click", true, {tab, down, down, up, enter}, {"click 1"}},
      {"file list: Space clicks, End is the last",
       true,
       {tab, K(KeyName::End), space},
       {"click 29"}},
      {"file list: page down moves a page",
       true,
       {tab, down, K(KeyName::PageDown), enter},
       {"click 13"}},
      {"file list: the caret starts on the first entry", true, {tab, enter}, {"click 0"}},
      {"flasher button by Enter and Space", false, {tab, enter, space}, {"press", "press"}},
      {"F10 closes", false, {K(KeyName::F10)}, {"close"}},
      {"Ctrl-Q closes, even from the open list",
       true,
       {K(KeyName::F4), K(KeyName::CtrlQ)},
       {"close"}},
      {"Escape, Enter, letters on the button do nothing else",
       false,
       {tab, K(KeyName::Escape), Ch('y')},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w(c.builder);
    w.Press(c.keys);
    EXPECT_EQ(w.actions.log, c.actions);
  }
}

TEST(TerminalWindow, TheFileListsCaretIsOnAnEntryWheneverItHasTheFocus) {
  Window w(true, 3, 5);
  const Key tab = K(KeyName::Tab), backTab = K(KeyName::BackTab), enter = K(KeyName::Enter);
  w.Press({tab});
  EXPECT_EQ(w.state.files.highlight, 0);
  // The caret comes back to the chosen entry, not to where it was left.
  w.Press({K(KeyName::End), K(KeyName::Up), enter, K(KeyName::Home), backTab, tab});
  EXPECT_EQ(w.state.files.highlight, 3);
  EXPECT_EQ(w.state.files.selected, 3);
  // A list re-read under the caret has no selection; the caret is on its first.
  w.screen.FilesReread({"A.bin", "B.bin"});
  EXPECT_EQ(w.state.files.highlight, 0);
  EXPECT_EQ(w.state.files.selected, -1);
  // A click on the frame focuses the list without clicking an entry.
  w.Press({backTab});
  const WindowLayout l = w.Layout();
  w.Press({Key{KeyName::Click, 0, l.files.top, l.files.left + 4}});
  EXPECT_EQ(w.state.focus, Focus::Files);
  EXPECT_EQ(w.state.files.highlight, 0);
  w.Press({enter});
  EXPECT_EQ(w.actions.log, (std::vector<std::string>{"click 3", "click 0"}));
}

// The form enables Build on any click of the file list, and builds from the
// selected name: a click on no entry would build from an empty one.
TEST(TerminalWindow, NoKeySequenceClicksNoEntryOrReachesBuildWithoutAName) {
  struct Form final : FormActions {
    explicit Form(ControlObserver& observer) {
      button.SetObserver(&observer);
      button.SetEnabled(false);
    }
    bool SelectComboItem(int) override { return false; }
    void TypeComboText(const std::string&) override {}
    bool ClickFileEntry(int index) override {
      name = index >= 0 && index < static_cast<int>(names.size())
                 ? names[static_cast<std::size_t>(index)]
                 : "";
      if (name.empty()) ++emptyClicks;
      button.SetEnabled(true);
      return true;
    }
    bool PressFlashButton() override {
      if (button.Enabled() && name.empty()) ++emptyBuilds;
      return button.Enabled();
    }
    void CloseByUser() override {}
    TButton button;
    std::vector<std::string> names;
    std::string name;
    int emptyClicks = 0;
    int emptyBuilds = 0;
  };
  const Key alphabet[] = {K(KeyName::Tab), K(KeyName::BackTab), K(KeyName::Enter),   Ch(' '),
                          K(KeyName::Up),  K(KeyName::End),     K(KeyName::PageDown)};
  constexpr int kLength = 5;
  int sequences = 1;
  for (int i = 0; i < kLength; ++i) sequences *= static_cast<int>(std::size(alphabet));
  for (const int files : {0, 1, 3}) {
    for (int n = 0; n < sequences; ++n) {
      Screen screen;
      Form form(screen);
      for (int i = 0; i < files; ++i) form.names.push_back(Numbered("F", i, ".bin"));
      screen.FilesReread(form.names);
      const WindowLayout layout = LayoutWindow(24, 80, true, "Build");
      for (int i = 0, code = n; i < kLength; ++i, code /= static_cast<int>(std::size(alphabet))) {
        HandleWindowKey(alphabet[code % std::size(alphabet)], screen.state, layout, 24, form);
      }
      ASSERT_EQ(form.emptyClicks, 0) << files << " files, sequence " << n;
      ASSERT_EQ(form.emptyBuilds, 0) << files << " files, sequence " << n;
      if (files == 0) {
        ASSERT_FALSE(form.button.Enabled());
      }
    }
  }
}

TEST(TerminalWindow, ClicksActOnTheControlUnderThem) {
  Window w(true);
  const WindowLayout l = w.Layout();
  const auto click = [&](int row, int column) { w.Press({Key{KeyName::Click, 0, row, column}}); };
  click(l.fileRows.top + 2, l.fileRows.left + 1);
  EXPECT_EQ(w.state.focus, Focus::Files);
  click(l.button.top, l.button.left);  // disabled: ignored
  click(l.fileRows.Bottom() + 5, 0);   // nothing there
  click(l.dropMark.top, l.dropMark.left + 1);
  EXPECT_TRUE(w.state.combo.listOpen);
  click(l.combo.Bottom() + 3, l.combo.left + 2);  // the list's third line
  EXPECT_FALSE(w.state.combo.listOpen);
  w.actions.button.SetEnabled(true);
  click(l.button.top, l.button.Right() - 1);
  EXPECT_EQ(w.actions.log, (std::vector<std::string>{"click 2", "select 2", "press"}));
}

TEST(TerminalLayout, KeepsTheWindowsOrderOnAnyScreen) {
  struct Size {
    int rows, columns;
  };
  for (const Size s : {Size{24, 80}, Size{50, 200}, Size{10, 30}, Size{3, 5}, Size{0, 0}}) {
    for (const bool files : {true, false}) {
      SCOPED_TRACE(testing::Message() << s.rows << "x" << s.columns << " files " << files);
      const WindowLayout l = LayoutWindow(s.rows, s.columns, files, "Build");
      for (const Rect& r : {l.title, l.label, l.combo, l.files, l.group, l.progress, l.button}) {
        EXPECT_GE(r.height, 0);
        EXPECT_GE(r.width, 0);
        if (r.width > 0) {
          EXPECT_LE(r.Right(), s.columns);
        }
      }
      EXPECT_LT(l.title.top, l.label.top);
      EXPECT_LT(l.label.top, l.combo.top);
      if (files) {
        EXPECT_LT(l.combo.top, l.files.top);
        EXPECT_LE(l.files.Bottom(), l.group.top);
      }
      EXPECT_LT(l.combo.top, l.group.top);
      EXPECT_LE(l.progress.Right(), l.button.left);
      if (s.rows >= kMinimumRows && s.columns >= kMinimumColumns) {
        EXPECT_LE(l.group.Bottom(), l.help.top);
        EXPECT_EQ(l.help.top, s.rows - 1);
        EXPECT_GE(l.progress.width, 40);
        EXPECT_EQ(l.button.width, 9);  // "[ Build ]"
      }
    }
  }
  // A taller screen gives the file list the extra rows.
  EXPECT_EQ(LayoutWindow(40, 80, true, "Build").fileRows.height,
            LayoutWindow(24, 80, true, "Build").fileRows.height + 16);
}

TEST(TerminalBox, ShowsTheWholeTextAndWrapsOnlyWhatIsTooWide) {
  const std::string longLine =
      "This flash utility only supports ACME DVD-616 drive with firmware:AB10-AB1Z";
  const std::string warning = "\nWARNING:\n\n" + longLine + "\nPlease REMOVE disc  ";
  MessageBoxView box{BoxKind::Warning, BoxButtons::YesNo, warning, 0};
  const BoxLayout wide = LayoutBox(box, 24, 120);
  EXPECT_EQ(wide.lines,
            (std::vector<std::string>{"", "WARNING:", "", longLine, "Please REMOVE disc  "}));
  const BoxLayout narrow = LayoutBox(box, 24, 60);
  EXPECT_EQ(narrow.lines[3], "This flash utility only supports ACME DVD-616 drive");
  EXPECT_EQ(narrow.lines[4], "with firmware:AB10-AB1Z");
  EXPECT_LE(narrow.frame.Right(), 60);
  EXPECT_EQ(narrow.frame.left, (60 - narrow.frame.width) / 2);
  // Too low a screen shows part of the text, keeps all of it to scroll
  // through, and keeps the buttons on the screen.
  const BoxLayout low = LayoutBox(box, 6, 80);
  EXPECT_LT(low.buttonRow, 6);
  EXPECT_EQ(low.textRows, 2);
  EXPECT_EQ(low.lines.size(), 6u);
  EXPECT_TRUE(low.Scrolls());
  EXPECT_FALSE(wide.Scrolls());
  EXPECT_STREQ(BoxTitle(BoxKind::Warning), "Warning");
  EXPECT_STREQ(BoxTitle(BoxKind::Error), "Error");
  EXPECT_STREQ(BoxTitle(BoxKind::Confirm), "Confirm");
  EXPECT_STREQ(BoxTitle(BoxKind::Plain), "");
}

TEST(TerminalBox, AnswersAsItsKeysSay) {
  struct Case {
    const char* name;
    BoxButtons buttons;
    std::vector<Key> keys;
    std::optional<BoxAnswer> answer;
  };
  const auto yesNo = BoxButtons::YesNo, ok = BoxButtons::Ok;
  const Case cases[] = {
      {"Y", yesNo, {Ch('Y')}, BoxAnswer::Yes},
      {"n", yesNo, {Ch('n')}, BoxAnswer::No},
      {"Enter on the first button", yesNo, {K(KeyName::Enter)}, BoxAnswer::Yes},
      {"Right, Enter", yesNo, {K(KeyName::Right), K(KeyName::Enter)}, BoxAnswer::No},
      {"Tab twice, Enter",
       yesNo,
       {K(KeyName::Tab), K(KeyName::Tab), K(KeyName::Enter)},
       BoxAnswer::Yes},
      {"Escape means No", yesNo, {K(KeyName::Escape)}, BoxAnswer::No},
      {"the terminal gone means No", yesNo, {K(KeyName::EndOfInput)}, BoxAnswer::No},
      {"other keys wait", yesNo, {Ch('x'), K(KeyName::F10), K(KeyName::Down)}, std::nullopt},
      {"OK by Space", ok, {Ch(' ')}, BoxAnswer::Ok},
      {"OK by Escape", ok, {K(KeyName::Escape)}, BoxAnswer::Ok},
      {"OK ignores Y", ok, {Ch('y')}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MessageBoxView box{BoxKind::Confirm, c.buttons, "\nQuestion ?\n", 0};
    const BoxLayout layout = LayoutBox(box, 24, 80);
    std::optional<BoxAnswer> answer;
    for (const Key& key : c.keys) {
      answer = HandleBoxKey(key, box, layout);
      if (answer) break;
    }
    EXPECT_EQ(answer, c.answer);
  }
  MessageBoxView box{BoxKind::Confirm, yesNo, "?", 0};
  const BoxLayout layout = LayoutBox(box, 24, 80);
  EXPECT_EQ(HandleBoxKey({KeyName::Click, 0, layout.no.top, layout.no.left}, box, layout),
            BoxAnswer::No);
}

// The flasher's warning on a 40x12 terminal: taller than the screen.
TEST(TerminalBox, ScrollsATextTallerThanTheScreenAndGivesNoYesBeforeItsEnd) {
  const std::string warning =
      "\nWARNING:\n\nThis flash utility only supports ACME DVD-616 drive with "
      "firmware:AB10-AB1Z\nPlease REMOVE disc and close all applications before run this "
      "utility! \nDon't turn off the system while the flash is in progress!\n\nDo you wish to "
      "continue?\n";
  struct Case {
    const char* name;
    BoxButtons buttons;
    int rows;
    std::vector<Key> keys;  // pressed until the box answers
    std::optional<BoxAnswer> answer;
    int keysUsed;
    bool agreed;  // by a key that must not act before the text's end was shown
  };
  const Key enter = K(KeyName::Enter);
  const std::vector<Key> manyEnters(10, enter);
  const std::vector<Key> manyYs(10, Ch('y'));
  const auto yesNo = BoxButtons::YesNo, ok = BoxButtons::Ok;
  const Case cases[] = {
      {"Enter pages on, then says Yes", yesNo, 12, manyEnters, BoxAnswer::Yes, 2, true},
      {"Y pages on too", yesNo, 12, manyYs, BoxAnswer::Yes, 2, true},
      {"End, then Enter at once", yesNo, 12, {K(KeyName::End), enter}, BoxAnswer::Yes, 2, true},
      {"Down line by line", yesNo, 12, std::vector<Key>(20, K(KeyName::Down)), std::nullopt, 20,
       false},
      {"No at once", yesNo, 12, {Ch('n')}, BoxAnswer::No, 1, false},
      {"Escape at once", yesNo, 12, {K(KeyName::Escape)}, BoxAnswer::No, 1, false},
      {"No by Right, Enter at once",
       yesNo,
       12,
       {K(KeyName::Right), enter},
       BoxAnswer::No,
       2,
       false},
      {"the terminal gone", yesNo, 12, {K(KeyName::EndOfInput)}, BoxAnswer::No, 1, false},
      {"no room for any line: never Yes", yesNo, 4, manyYs, std::nullopt, 10, false},
      {"a screen it fits on: Yes at once", yesNo, 24, {enter}, BoxAnswer::Yes, 1, true},
      {"OK pages on too", ok, 12, manyEnters, BoxAnswer::Ok, 2, true},
      {"OK by Escape at once", ok, 12, {K(KeyName::Escape)}, BoxAnswer::Ok, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MessageBoxView box{BoxKind::Warning, c.buttons, warning, 0};
    std::optional<BoxAnswer> answer;
    int used = 0;
    bool lastShown = false;
    for (const Key& key : c.keys) {
      const BoxLayout layout = LayoutBox(box, c.rows, 40);
      ASSERT_LE(layout.frame.Bottom(), c.rows);
      EXPECT_LE(layout.frame.Right(), 40);
      lastShown = lastShown || layout.ShowsEnd();
      ++used;
      answer = HandleBoxKey(key, box, layout);
      if (answer) break;
    }
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(used, c.keysUsed);
    if (c.agreed) {
      EXPECT_TRUE(lastShown) << "agreed to a text whose end was never on the screen";
    }
  }
  // Too low for any line, the box says so (and the keys above show it waits).
  for (const int rows : {1, 3, 4, 5}) {
    const MessageBoxView low{BoxKind::Warning, yesNo, warning, 0};
    EXPECT_EQ(LayoutBox(low, rows, 40).TooLow(), rows < 5) << rows;
  }
  // Every line is on the screen at some point on the way down.
  MessageBoxView box{BoxKind::Warning, yesNo, warning, 0};
  std::vector<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const BoxLayout layout = LayoutBox(box, 12, 40);
    for (int row = 0; row < layout.textRows; ++row)
      seen.push_back(layout.lines[static_cast<std::size_t>(layout.first + row)]);
    HandleBoxKey(K(KeyName::Down), box, layout);
  }
  const BoxLayout layout = LayoutBox(box, 12, 40);
  for (const std::string& line : layout.lines) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), line), seen.end()) << line;
  }
  EXPECT_NE(std::find(layout.lines.begin(), layout.lines.end(), "Don't turn off the system while"),
            layout.lines.end());
}

TEST(TerminalText, NeverHandsTheTerminalAControlByte) {
  EXPECT_EQ(CellText(std::string("a\x1b[2Jb\tc\x7f\x9b\xff\0d", 13)), "a?[2Jb c????d");
  EXPECT_EQ(CellText("SM01.bin"), "SM01.bin");
  EXPECT_EQ(WrapLines("", 10), std::vector<std::string>{""});
  EXPECT_EQ(WrapLines("abcdefghij", 4), (std::vector<std::string>{"abcd", "efgh", "ij"}));
  EXPECT_EQ(WrapLines("ab cd ef\n\nx", 5), (std::vector<std::string>{"ab cd", "ef", "", "x"}));
  EXPECT_EQ(WrapLines("abc", 0), (std::vector<std::string>{"a", "b", "c"}));
}

// What follows an Escape that curses did not match: how many of the bytes
// are dropped with it, and whether the last of them was handed back.
TEST(TerminalKeys, DropsAnUnknownEscapeSequenceWholeAndNothingAfterIt) {
  struct Case {
    const char* name;
    std::vector<int> bytes;  // after the Escape: characters or curses key codes
    int dropped;
    bool givenBack;  // the byte after the dropped ones is no part of it
  };
  const auto bytes = [](const std::string& text) {
    std::vector<int> codes;
    for (const char ch : text) codes.push_back(static_cast<unsigned char>(ch));
    return codes;
  };
  constexpr int kKnownKey = 0x150;  // what curses gives for a key it decoded
  const Case cases[] = {
      {"CSI u key report", bytes("[57399uab"), 7, false},
      {"CSI with modifiers", bytes("[1;5Px"), 5, false},
      {"bracketed paste start", bytes("[200~x"), 5, false},
      {"SS3", bytes("OZx"), 2, false},
      {"Alt with a letter", bytes("xy"), 1, false},
      {"Alt before a sequence", bytes("\x1b[1;3Cx"), 6, false},
      {"OSC ended by BEL", bytes("]11;rgb:0/0/0\ax"), 14, false},
      {"OSC ended by ST", bytes("]0;t\x1b\\x"), 6, false},
      {"an OSC longer than any buffer", bytes("]2;" + std::string(100000, '1') + "\ay"), 100004,
       false},
      {"a DCS ended by ST", bytes("P" + std::string(300, 'q') + "\x1b\\y"), 303, false},
      {"a control byte cuts a CSI", bytes("[1\tx"), 2, true},
      {"Escape then Tab", bytes("\tx"), 0, true},
      {"Alt with a known key", {kKnownKey, 'x'}, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EscapeTail tail;
    int dropped = 0;
    bool givenBack = false;
    for (const int byte : c.bytes) {
      const EscapeTail::Step step = tail.Feed(byte);
      if (step == EscapeTail::Step::NotPart) {
        givenBack = true;
        break;
      }
      ++dropped;
      if (step == EscapeTail::Step::Done) break;
    }
    EXPECT_EQ(dropped, c.dropped);
    EXPECT_EQ(givenBack, c.givenBack);
  }
}

// The window's texts drawn in a UTF-8 locale, as the session sets it from
// the environment.
class TerminalUtf8 : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { std::setlocale(LC_CTYPE, previous_.c_str()); }

 private:
  std::string previous_;
};

TEST_F(TerminalUtf8, ShowsValidUtf8AndReplacesEverythingElse) {
  struct Case {
    const char* name;
    std::string text;
    std::string cells;
    int columns;
  };
  const Case cases[] = {
      {"letters with umlauts stay apart", "\xc3\x84-x.bin \xc3\x96-x.bin",
       "\xc3\x84-x.bin \xc3\x96-x.bin", 15},
      {"wide characters take two columns", "\xe6\x97\xa5\xe6\x9c\xac.bin",
       "\xe6\x97\xa5\xe6\x9c\xac.bin", 8},
      {"a combining mark stays on its letter", "A\xcc\x88x", "A\xcc\x88x", 2},
      {"a mark with nothing to sit on", "\xcc\x88x", "?x", 2},
      {"escape, tab, DEL", "a\x1b[2Jb\tc\x7f", "a?[2Jb c?", 9},
      {"C1 control (CSI) in UTF-8",
       "a\xc2\x9b"
       "2Jb",
       "a?2Jb", 5},
      {"a lone C1 byte, an invalid lead", "\x9b\xff", "??", 2},
      {"truncated sequence",
       "\xe6\x97"
       "x",
       "??x", 3},
      {"overlong slash", "\xc0\xaf", "??", 2},
      {"surrogate", "\xed\xa0\x80", "???", 3},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", "????", 4},
      {"right-to-left override",
       "a\xe2\x80\xae"
       "b",
       "a?b", 3},
      {"zero-width space",
       "a\xe2\x80\x8b"
       "b",
       "a?b", 3},
      {"variation selector dropped", "\xe2\x9d\xa4\xef\xb8\x8f!", "\xe2\x9d\xa4!", 2},
      {"NUL", std::string("a\0b", 3), "a?b", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CellText(c.text), c.cells);
    EXPECT_EQ(Columns(CellText(c.text)), c.columns);
  }
  // Many marks on one letter: no more than a cell holds.
  std::string heaped = "e";
  for (int i = 0; i < 20; ++i) heaped += "\xcc\x81";
  EXPECT_EQ(CellText(heaped), "e" + std::string("\xcc\x81\xcc\x81\xcc\x81\xcc\x81"));
  // Outside a UTF-8 locale every byte beyond ASCII is one '?'.
  std::setlocale(LC_CTYPE, "C");
  EXPECT_EQ(CellText("\xc3\x84-x.bin"),
            "?"
            "?-x.bin");
}

TEST_F(TerminalUtf8, NeverDrawsWiderThanTheColumnsReserved) {
  const std::string wide = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // three wide characters
  struct Case {
    int skip, width;
    std::string fitted;
  };
  const Case cases[] = {
      {0, 6, wide},
      {0, 5, "\xe6\x97\xa5\xe6\x9c\xac "},  // the cut character becomes a blank
      {1, 4, " \xe6\x9c\xac "},
      {2, 2, "\xe6\x9c\xac"},
      {0, 1, " "},
      {7, 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.skip << "+" << c.width);
    EXPECT_EQ(FitColumns(wide, c.skip, c.width), c.fitted);
    EXPECT_LE(Columns(FitColumns(wide, c.skip, c.width)), c.width);
  }
  // Boxes and buttons are sized by columns, not bytes.
  MessageBoxView umlauts{
      BoxKind::Plain, BoxButtons::Ok,
      "\xc3\x84\xc3\x96\xc3\x9c \xc3\x84\xc3\x96\xc3\x9c \xc3\x84\xc3\x96\xc3\x9c", 0};
  MessageBoxView ascii{BoxKind::Plain, BoxButtons::Ok, "AOU AOU AOU", 0};
  EXPECT_EQ(LayoutBox(umlauts, 24, 80).frame.width, LayoutBox(ascii, 24, 80).frame.width);
  EXPECT_EQ(LayoutBox(umlauts, 24, 12).lines,
            (std::vector<std::string>{"\xc3\x84\xc3\x96\xc3\x9c", "\xc3\x84\xc3\x96\xc3\x9c",
                                      "\xc3\x84\xc3\x96\xc3\x9c"}));
  EXPECT_EQ(WrapLines(wide + " x", 5),
            (std::vector<std::string>{"\xe6\x97\xa5\xe6\x9c\xac", "\xe8\xaa\x9e x"}));
  EXPECT_EQ(LayoutWindow(24, 80, false, "\xc3\x84nderung").button.width, 12);
}

TEST_F(TerminalUtf8, TheCaretStepsOverWholeCharacters) {
  Window w(false, 0, 0);
  w.actions.combo.Add("x\xc3\x84y\xe6\x97\xa5");
  w.actions.combo.SetItemIndex(0);
  w.Press({K(KeyName::Left), K(KeyName::Left), K(KeyName::Backspace), K(KeyName::Delete),
           K(KeyName::Right), Ch('z')});
  EXPECT_EQ(w.actions.log, (std::vector<std::string>{"type xy\xe6\x97\xa5", "type x\xe6\x97\xa5",
                                                     "type x\xe6\x97\xa5z"}));
}

}  // namespace
