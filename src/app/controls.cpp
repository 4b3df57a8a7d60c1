#include "app/controls.h"

#include <algorithm>

#include "catalogue/file_mask.h"

void TCaptioned::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (!observer_) return;
  switch (role_) {
    case Role::Window:
      observer_->WindowCaptionChanged(caption_);
      break;
    case Role::Label:
      observer_->LabelChanged(caption_);
      break;
    case Role::Status:
      observer_->StatusChanged(caption_);
      break;
  }
}

void TButton::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (observer_) observer_->ButtonChanged(caption_, enabled_);
}

void TButton::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (observer_) observer_->ButtonChanged(caption_, enabled_);
}

void TProgressBar::SetMax(std::uint32_t max) {
  if (max == max_) return;
  max_ = max;
  position_ = std::min(position_, max_);  // the bar never shows more than full
  if (observer_) observer_->ProgressChanged(position_, max_);
}

void TProgressBar::SetPosition(std::uint32_t position) {
  if (position == position_) return;
  position_ = position;
  if (observer_) observer_->ProgressChanged(position_, max_);
}

void TProgressBar::StepIt(std::uint32_t count) {
  const std::uint64_t advanced =
      static_cast<std::uint64_t>(position_) + std::uint64_t{step_} * count;
  SetPosition(static_cast<std::uint32_t>(std::min<std::uint64_t>(advanced, max_)));
}

int SelectionAfterDelete(int selection, int deleted) {
  if (selection == deleted) return -1;
  return selection > deleted ? selection - 1 : selection;
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) index = -1;
  if (index >= 0) SetText(items_[static_cast<std::size_t>(index)]);
  if (index == itemIndex_) return;
  itemIndex_ = index;
  if (observer_) observer_->ComboSelected(itemIndex_);
}

void TComboBox::Add(const std::string& text) {
  items_.push_back(text);
  if (observer_) observer_->ComboAdded(static_cast<int>(items_.size()) - 1, text);
}

void TComboBox::Insert(int index, const std::string& text) {
  index = std::clamp(index, 0, static_cast<int>(items_.size()));
  // The selection keeps its number, as the system control's does: it then
  // names the inserted line.
  items_.insert(items_.begin() + index, text);
  if (observer_) observer_->ComboInserted(index, text);
}

void TComboBox::Delete(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  items_.erase(items_.begin() + index);
  if (observer_) observer_->ComboDeleted(index);
  const int selection = SelectionAfterDelete(itemIndex_, index);
  // Only a selection that is gone is reported; one that moved up still
  // names its line.
  const bool gone = selection == -1 && itemIndex_ != -1;
  itemIndex_ = selection;
  if (gone && observer_) observer_->ComboSelected(itemIndex_);
}

void TComboBox::Type(const std::string& text) {
  SetText(text);
  if (itemIndex_ == -1) return;
  itemIndex_ = -1;
  if (observer_) observer_->ComboSelected(itemIndex_);
}

void TComboBox::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  if (observer_) observer_->ComboTextChanged(text_);
}

void TFileListBox::SetDirectory(const std::string& directory) {
  directory_ = directory;
  Reread();
}

void TFileListBox::SetMask(const std::string& mask) {
  mask_ = mask;
  Reread();
}

void TFileListBox::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (observer_) observer_->FilesVisibilityChanged(visible_);
}

void TFileListBox::SetItemIndex(int index) {
  itemIndex_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
}

std::string TFileListBox::SelectedName() const {
  return itemIndex_ >= 0 ? items_[static_cast<std::size_t>(itemIndex_)] : std::string();
}

void TFileListBox::Reread() {
  items_ = ListMatchingFiles(directory_, mask_);
  itemIndex_ = -1;
  if (observer_) observer_->FilesReread(items_);
}
