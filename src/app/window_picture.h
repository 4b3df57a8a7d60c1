// What the window shows, as one copyable value, and the one observer that
// keeps it from the controls' reports. A front-end keeps a picture, draws
// from it and is told which part changed; it never reads the form's
// controls, which may be changing on another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/controls.h"

struct WindowPicture {
  std::string caption;
  std::string label;
  std::string status;  // GroupBox2's caption
  std::string buttonCaption = "FLASH";
  bool buttonEnabled = true;
  std::uint32_t position = 0;
  std::uint32_t max = 100;
  std::vector<std::string> comboItems;
  int comboIndex = -1;
  std::string comboText;  // the edit field's text, typed or taken from the selected item
  bool filesVisible = true;
  std::vector<std::string> fileNames;

  // The edit field as the user sees it: the selected item, else the text.
  const std::string& ComboFieldText() const;
};

// Which part of the picture changed, in the order the controls reported it.
// For the combo box's lines `index` is the line the report named.
struct PictureChange {
  enum class Part {
    Caption,
    Label,
    Status,
    Button,
    Progress,
    ComboAdded,
    ComboInserted,
    ComboDeleted,
    ComboSelected,
    ComboText,
    FilesVisibility,
    Files,
  };
  Part part;
  int index = -1;
};

// The controls' observer for a front-end: it changes the picture, then tells
// PictureChanged. A front-end whose drawing lives on another thread than the
// form's handlers overrides Carry to make both happen there.
class PictureKeeper : public ControlObserver {
 public:
  const WindowPicture& Picture() const { return picture_; }

  void WindowCaptionChanged(const std::string& caption) final;
  void LabelChanged(const std::string& caption) final;
  void StatusChanged(const std::string& caption) final;
  void ButtonChanged(const std::string& caption, bool enabled) final;
  void ProgressChanged(std::uint32_t position, std::uint32_t max) final;
  void ComboAdded(int index, const std::string& text) final;
  void ComboInserted(int index, const std::string& text) final;
  void ComboDeleted(int index) final;
  void ComboSelected(int index) final;
  void ComboTextChanged(const std::string& text) final;
  void FilesVisibilityChanged(bool visible) final;
  void FilesReread(const std::vector<std::string>& names) final;

 protected:
  ~PictureKeeper() override = default;
  virtual void PictureChanged(const PictureChange& change) = 0;
  // Runs `update` (the picture's change and PictureChanged) where the
  // front-end draws, and returns when it has run. Here: at once.
  virtual void Carry(const std::function<void()>& update) { update(); }

 private:
  void Change(PictureChange change, const std::function<void(WindowPicture&)>& apply);

  WindowPicture picture_;
};
