// What the program needs of a front-end: it shows the form (FormHost and
// ControlObserver) and runs the window's event loop.
//
// A front-end feeds the user's actions back through the form's action
// methods (TFlashForm::SelectComboItem and the rest), so every front-end
// shares one input path. Those actions change controls, and the controls
// report every change to the observer, the user's own change included: a
// front-end must expect its own input echoed back and draw from the echo.
#pragma once

#include "app/controls.h"
#include "app/form_host.h"

class TFlashForm;

class FrontEnd : public FormHost, public ControlObserver {
 public:
  // Runs the event loop until the window closes or a quit is requested.
  virtual void Run(TFlashForm& form) = 0;
};
