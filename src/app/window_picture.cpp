#include "app/window_picture.h"

#include <algorithm>

using Part = PictureChange::Part;

const std::string& WindowPicture::ComboFieldText() const {
  if (comboIndex >= 0 && comboIndex < static_cast<int>(comboItems.size())) {
    return comboItems[static_cast<std::size_t>(comboIndex)];
  }
  return comboText;
}

void PictureKeeper::Change(PictureChange change, const std::function<void(WindowPicture&)>& apply) {
  Carry([&] {
    apply(picture_);
    PictureChanged(change);
  });
}

void PictureKeeper::WindowCaptionChanged(const std::string& caption) {
  Change({Part::Caption}, [&](WindowPicture& p) { p.caption = caption; });
}

void PictureKeeper::LabelChanged(const std::string& caption) {
  Change({Part::Label}, [&](WindowPicture& p) { p.label = caption; });
}

void PictureKeeper::StatusChanged(const std::string& caption) {
  Change({Part::Status}, [&](WindowPicture& p) { p.status = caption; });
}

void PictureKeeper::ButtonChanged(const std::string& caption, bool enabled) {
  Change({Part::Button}, [&](WindowPicture& p) {
    p.buttonCaption = caption;
    p.buttonEnabled = enabled;
  });
}

void PictureKeeper::ProgressChanged(std::uint32_t position, std::uint32_t max) {
  Change({Part::Progress}, [&](WindowPicture& p) {
    p.position = position;
    p.max = max;
  });
}

void PictureKeeper::ComboAdded(int index, const std::string& text) {
  Change({Part::ComboAdded, index}, [&](WindowPicture& p) { p.comboItems.push_back(text); });
}

// These two read the picture to place the line, so they do it where the
// picture lives.
void PictureKeeper::ComboInserted(int index, const std::string& text) {
  Carry([&] {
    std::vector<std::string>& items = picture_.comboItems;
    const int at = std::clamp(index, 0, static_cast<int>(items.size()));
    // The selection keeps its number, as the control's does.
    items.insert(items.begin() + at, text);
    PictureChanged({Part::ComboInserted, at});
  });
}

void PictureKeeper::ComboDeleted(int index) {
  Carry([&] {
    std::vector<std::string>& items = picture_.comboItems;
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    items.erase(items.begin() + index);
    picture_.comboIndex = SelectionAfterDelete(picture_.comboIndex, index);
    PictureChanged({Part::ComboDeleted, index});
  });
}

void PictureKeeper::ComboSelected(int index) {
  Change({Part::ComboSelected, index}, [&](WindowPicture& p) {
    p.comboIndex = index >= 0 && index < static_cast<int>(p.comboItems.size()) ? index : -1;
  });
}

void PictureKeeper::ComboTextChanged(const std::string& text) {
  Change({Part::ComboText}, [&](WindowPicture& p) { p.comboText = text; });
}

void PictureKeeper::FilesVisibilityChanged(bool visible) {
  Change({Part::FilesVisibility}, [&](WindowPicture& p) { p.filesVisible = visible; });
}

void PictureKeeper::FilesReread(const std::vector<std::string>& names) {
  Change({Part::Files}, [&](WindowPicture& p) { p.fileNames = names; });
}
