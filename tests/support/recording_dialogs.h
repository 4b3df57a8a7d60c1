// The one fake for whatever shows boxes: it remembers every box it was asked
// to show and answers a question as the test said (No unless told), an OK
// box with OK. RecordingDialogs stands in for the device layer's DialogSink;
// RecordingHost (recording_host.h) for a whole front-end's FormHost.
#pragma once

#include <string>
#include <vector>

#include "common/dialog.h"

struct RecordedBox {
  std::string text;
  BoxKind kind;
  BoxButtons buttons;
};

template <typename Sink>
class BoxRecorder : public Sink {
 public:
  explicit BoxRecorder(BoxAnswer answerToQuestions = BoxAnswer::No) : answer_(answerToQuestions) {}

  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override {
    boxes.push_back({text, kind, buttons});
    return buttons == BoxButtons::YesNo ? answer_ : BoxAnswer::Ok;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const RecordedBox& box : boxes) texts.push_back(box.text);
    return texts;
  }

  std::vector<RecordedBox> boxes;

 private:
  BoxAnswer answer_;
};

using RecordingDialogs = BoxRecorder<DialogSink>;
