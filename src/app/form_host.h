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
  // Asks the front-end to end its event loop; the program's exit status does
  // not depend on the way the form ends, so the request carries none.
  virtual void PostQuit() = 0;
  // The flash sequence has left the drive alone: what the front-end holds
  // against the session's end for the run goes now, before the restart
  // question, so that the system's restart is not refused by this program.
  virtual void SequenceEnded() {}
};
