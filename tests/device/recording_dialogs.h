// A DialogSink that remembers every box, for asserting what the user saw.
#pragma once

#include <string>
#include <vector>

#include "common/dialog.h"

struct RecordedBox {
  std::string text;
  BoxKind kind;
};

class RecordingDialogs : public DialogSink {
 public:
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons /*buttons*/) override {
    boxes.push_back({text, kind});
    return BoxAnswer::Ok;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const RecordedBox& box : boxes) {
      texts.push_back(box.text);
    }
    return texts;
  }

  std::vector<RecordedBox> boxes;
};
