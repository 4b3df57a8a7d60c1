// What the form needs from whichever front-end shows it: modal boxes, the
// screen cursor, explicit repaints, closing the window and the quit request.
#pragma once

#include "common/dialog.h"

enum class CursorShape { Default, Busy };

class FormHost : public DialogSink {
 public:
  virtual void SetCursor(CursorShape cursor) = 0;
  // Long handlers never return to the event loop, so they ask for paint.
  virtual void Repaint() = 0;
  virtual void CloseWindow() = 0;
  virtual void PostQuit(int exitCode) = 0;
};
