// The picture every front-end draws from: after each report of the controls
// it shows what the controls hold, and it hears of every change there.
#include "app/window_picture.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/controls.h"

namespace {

class CountingKeeper final : public PictureKeeper {
 public:
  int changes = 0;
  int carried = 0;

 private:
  void PictureChanged(const PictureChange&) override { ++changes; }
  void Carry(const std::function<void()>& update) override {
    ++carried;
    update();
  }
};

struct Controls {
  explicit Controls(ControlObserver& observer) {
    for (Control* c : std::initializer_list<Control*>{&caption, &label, &status, &combo, &files,
                                                      &bar, &button}) {
      c->SetObserver(&observer);
    }
  }
  TCaptioned caption{TCaptioned::Role::Window};
  TCaptioned label{TCaptioned::Role::Label};
  TCaptioned status{TCaptioned::Role::Status};
  TComboBox combo;
  TFileListBox files;
  TProgressBar bar;
  TButton button;
};

void ExpectSame(const WindowPicture& p, const Controls& c) {
  EXPECT_EQ(p.caption, c.caption.Caption());
  EXPECT_EQ(p.label, c.label.Caption());
  EXPECT_EQ(p.status, c.status.Caption());
  EXPECT_EQ(p.buttonCaption, c.button.Caption());
  EXPECT_EQ(p.buttonEnabled, c.button.Enabled());
  EXPECT_EQ(p.position, c.bar.Position());
  EXPECT_EQ(p.max, c.bar.Max());
  EXPECT_EQ(p.comboItems, c.combo.Items());
  EXPECT_EQ(p.comboIndex, c.combo.ItemIndex());
  EXPECT_EQ(p.comboText, c.combo.Text());
  EXPECT_EQ(p.filesVisible, c.files.Visible());
  EXPECT_EQ(p.fileNames, c.files.Items());
}

TEST(WindowPicture, ShowsWhatTheControlsHoldAfterEveryReport) {
  struct Step {
    const char* name;
    std::function<void(Controls&)> act;
  };
  const Step steps[] = {
      {"captions",
       [](Controls& c) {
         c.caption.SetCaption(" Flash Utility ");
         c.label.SetCaption("Select Model: ");
         c.status.SetCaption("Build SM01.EXE complete!");
       }},
      {"button",
       [](Controls& c) {
         c.button.SetCaption("Build");
         c.button.SetEnabled(false);
       }},
      {"lines and a selection",
       [](Controls& c) {
         for (const char* line : {"a", "b", "c", "d"}) c.combo.Add(line);
         c.combo.SetItemIndex(2);
       }},
      {"a refreshed line",
       [](Controls& c) {
         c.combo.Insert(2, "c2");
         c.combo.Delete(3);
         c.combo.SetItemIndex(2);
       }},
      {"a line above the selection goes", [](Controls& c) { c.combo.Delete(0); }},
      {"typing over the selection", [](Controls& c) { c.combo.Type("typed"); }},
      {"the typed text goes on", [](Controls& c) { c.combo.Type("typed on"); }},
      {"the selected line goes",
       [](Controls& c) {
         c.combo.SetItemIndex(0);
         c.combo.Delete(0);
       }},
      {"out of range selects nothing",
       [](Controls& c) {
         c.combo.SetItemIndex(0);
         c.combo.SetItemIndex(7);
       }},
      {"insert past the end", [](Controls& c) { c.combo.Insert(99, "last"); }},
      {"progress, then a smaller maximum",
       [](Controls& c) {
         c.bar.SetPosition(80);
         c.bar.SetMax(50);
       }},
      {"files hidden", [](Controls& c) { c.files.SetVisible(false); }},
  };
  CountingKeeper keeper;
  Controls controls(keeper);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const int before = keeper.changes;
    step.act(controls);
    ExpectSame(keeper.Picture(), controls);
    EXPECT_GT(keeper.changes, before);
    // Every change of the picture is made where the front-end draws.
    EXPECT_EQ(keeper.carried, keeper.changes);
  }
}

}  // namespace
