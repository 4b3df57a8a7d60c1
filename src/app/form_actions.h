// What the user does to the window, one method per action. Every front-end
// turns its keys, clicks and lines into these calls and nothing else, so
// they all share one input path; TFlashForm carries them out.
#pragma once

#include <string>

class FormActions {
 public:
  virtual ~FormActions() = default;
  // Each changes its control as the toolkit would and then raises the
  // handler. False when the action does not apply (the control is disabled
  // or hidden, or no such item): nothing changed.
  virtual bool SelectComboItem(int index) = 0;
  virtual void TypeComboText(const std::string& text) = 0;
  // -1 (or no such entry): a click that selects nothing.
  virtual bool ClickFileEntry(int index) = 0;
  virtual bool PressFlashButton() = 0;
  virtual void CloseByUser() = 0;
};
