// A front-end for forms whose methods a test calls directly: boxes are
// recorded (recording_dialogs.h), the close and quit requests counted, the
// cursor and repaints ignored.
#pragma once

#include "app/form_host.h"
#include "support/recording_dialogs.h"

class RecordingHost final : public BoxRecorder<FormHost> {
 public:
  using BoxRecorder<FormHost>::BoxRecorder;

  void SetCursor(CursorShape) override {}
  void Repaint() override {}
  void CloseWindow() override { closed = true; }
  void PostQuit() override { ++quits; }

  bool closed = false;
  int quits = 0;
};
