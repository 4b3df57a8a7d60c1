// The user's actions on the window, shared by every front-end.
#include "app/flash_form.h"

bool TFlashForm::SelectComboItem(int index) {
  if (index < 0 || index >= static_cast<int>(ComboBox.Items().size())) return false;
  ComboBox.SetItemIndex(index);
  ComboBoxChange();
  return true;
}

void TFlashForm::TypeComboText(const std::string& text) {
  ComboBox.Type(text);
  ComboBoxChange();
}

bool TFlashForm::ClickFileEntry(int index) {
  if (!FileListBox1.Visible()) return false;
  FileListBox1.SetItemIndex(index);
  FileListBox1Click();
  return true;
}

bool TFlashForm::PressFlashButton() {
  if (!FlashButton.Enabled()) return false;
  FlashButtonClick();
  return true;
}

void TFlashForm::CloseByUser() { host_.CloseWindow(); }
