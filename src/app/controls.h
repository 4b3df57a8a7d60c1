// Toolkit-free controls of the main window. Each holds the state its
// toolkit counterpart would and reports every change to its observer; for
// a front-end that is PictureKeeper (app/window_picture.h), which keeps the
// picture the front-end draws from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a front-end hears from the controls, in the order things happen.
class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void WindowCaptionChanged(const std::string& caption) = 0;
  virtual void LabelChanged(const std::string& caption) = 0;
  virtual void StatusChanged(const std::string& caption) = 0;  // GroupBox2's caption
  virtual void ButtonChanged(const std::string& caption, bool enabled) = 0;
  virtual void ProgressChanged(std::uint32_t position, std::uint32_t max) = 0;
  virtual void ComboAdded(int index, const std::string& text) = 0;
  virtual void ComboInserted(int index, const std::string& text) = 0;
  virtual void ComboDeleted(int index) = 0;
  virtual void ComboSelected(int index) = 0;
  // The edit field's text: typed by the user, or taken from a selected item.
  virtual void ComboTextChanged(const std::string& text) = 0;
  virtual void FilesVisibilityChanged(bool visible) = 0;
  virtual void FilesReread(const std::vector<std::string>& names) = 0;
};

// Where a list's selection goes when line `deleted` goes: a selection
// behind it moves up with its line, the deleted line's own becomes none.
int SelectionAfterDelete(int selection, int deleted);

class Control {
 public:
  void SetObserver(ControlObserver* observer) { observer_ = observer; }

 protected:
  ControlObserver* observer_ = nullptr;
};

// A caption-only control: the window itself, the label, the group box.
class TCaptioned : public Control {
 public:
  enum class Role { Window, Label, Status };
  explicit TCaptioned(Role role) : role_(role) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  Role role_;
  std::string caption_;
};

class TButton : public Control {
 public:
  const std::string& Caption() const { return caption_; }
  bool Enabled() const { return enabled_; }
  void SetCaption(const std::string& caption);
  void SetEnabled(bool enabled);

 private:
  std::string caption_ = "FLASH";
  bool enabled_ = true;
};

class TProgressBar : public Control {
 public:
  std::uint32_t Min() const { return min_; }
  std::uint32_t Max() const { return max_; }
  std::uint32_t Step() const { return step_; }
  std::uint32_t Position() const { return position_; }
  void SetMin(std::uint32_t min) { min_ = min; }
  void SetMax(std::uint32_t max);
  void SetStep(std::uint32_t step) { step_ = step; }
  void SetPosition(std::uint32_t position);
  // Advances by `count` steps; the bar stops at its maximum.
  void StepIt(std::uint32_t count = 1);

 private:
  std::uint32_t min_ = 0;
  std::uint32_t max_ = 100;
  std::uint32_t step_ = 10;
  std::uint32_t position_ = 0;
};

// Drop-down combo box with an edit field.
class TComboBox : public Control {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  int ItemIndex() const { return itemIndex_; }
  const std::string& Text() const { return text_; }
  void SetItemIndex(int index);  // -1 selects nothing; out of range selects nothing
  void Add(const std::string& text);
  void Insert(int index, const std::string& text);
  void Delete(int index);
  // The user typed into the edit field: no item is selected any more.
  void Type(const std::string& text);

 private:
  void SetText(const std::string& text);
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  std::string text_;
};

// The names of the files of one directory that match a mask.
class TFileListBox : public Control {
 public:
  const std::string& Mask() const { return mask_; }
  const std::string& Directory() const { return directory_; }
  const std::vector<std::string>& Items() const { return items_; }
  int ItemIndex() const { return itemIndex_; }
  bool Visible() const { return visible_; }
  void SetDirectory(const std::string& directory);
  void SetMask(const std::string& mask);
  void SetVisible(bool visible);
  void SetItemIndex(int index);
  // The selected entry's name, or empty.
  std::string SelectedName() const;

 private:
  void Reread();
  std::string mask_ = "*.*";
  std::string directory_;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  bool visible_ = true;
};
