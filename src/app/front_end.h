// What the program needs of a front-end: it shows the form (FormHost, and
// the picture of the window that PictureKeeper keeps from the controls) and
// runs the window's event loop.
//
// A front-end writes drawing and input only. It draws from its picture when
// told that a part changed, and feeds the user's actions back through
// FormActions. Those actions change controls, and the controls report every
// change, the user's own included: the picture then shows the user's input
// too, and a front-end draws from it rather than from what it sent.
#pragma once

#include "app/form_actions.h"
#include "app/form_host.h"
#include "app/window_picture.h"

class FrontEnd : public FormHost, public PictureKeeper {
 public:
  // Runs the event loop until the window closes or a quit is requested.
  virtual void Run(FormActions& actions) = 0;
};
