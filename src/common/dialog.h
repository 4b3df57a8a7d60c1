// The one way any layer asks the user something or tells the user something.
// Front-ends implement DialogSink; the core only knows this vocabulary.
#pragma once

#include <string>

enum class BoxKind { Plain, Warning, Error, Confirm };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

class DialogSink {
 public:
  virtual ~DialogSink() = default;
  // Shows a modal box and returns the user's answer. For BoxButtons::Ok the
  // answer is always BoxAnswer::Ok.
  virtual BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) = 0;
};
