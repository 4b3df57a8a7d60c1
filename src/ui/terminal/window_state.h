// What the terminal window shows, kept from the controls' reports, and what
// only the terminal knows: focus, the list highlight, the edit caret and the
// open drop-down list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/controls.h"

enum class Focus { Combo, Files, Button };

struct ComboView {
  std::vector<std::string> items;
  int index = -1;
  std::string text;       // the edit field when no item is selected
  std::size_t caret = 0;  // in the edit field, 0..text size
  bool listOpen = false;
  int listHighlight = 0;
  int listTop = 0;
};

struct FileView {
  bool visible = true;
  std::vector<std::string> names;
  int highlight = -1;  // the caret: the entry Enter or Space clicks, -1 only when empty
  int selected = -1;   // the entry last clicked, the form's selection
  int top = 0;         // the first entry shown
};

class WindowState : public ControlObserver {
 public:
  std::string caption;
  std::string label;
  std::string status;
  std::string buttonCaption = "FLASH";
  bool buttonEnabled = true;
  std::uint32_t position = 0;
  std::uint32_t max = 100;
  bool busy = false;
  ComboView combo;
  FileView files;
  Focus focus = Focus::Combo;

  // The edit field as the user sees it.
  const std::string& ComboText() const;
  // Focusable controls, in tab order: visible and enabled ones only.
  std::vector<Focus> TabStops() const;
  void MoveFocus(bool forward);
  // Gives `to` the focus. The file list taking it puts its caret on the
  // selected entry, or else on the first, so that Enter always clicks one.
  void SetFocus(Focus to);
  // Moves focus off a control that was hidden or disabled meanwhile.
  void KeepFocusValid();
  // Whole percent of the bar, 0..100.
  int Percent() const;

  // ControlObserver
  void WindowCaptionChanged(const std::string& text) override { caption = text; }
  void LabelChanged(const std::string& text) override { label = text; }
  void StatusChanged(const std::string& text) override { status = text; }
  void ButtonChanged(const std::string& text, bool enabled) override;
  void ProgressChanged(std::uint32_t newPosition, std::uint32_t newMax) override;
  void ComboAdded(int index, const std::string& text) override;
  void ComboInserted(int index, const std::string& text) override;
  void ComboDeleted(int index) override;
  void ComboSelected(int index) override;
  void FilesVisibilityChanged(bool visible) override;
  void FilesReread(const std::vector<std::string>& names) override;
};
