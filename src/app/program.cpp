#include "app/program.h"

#include <exception>

#include "app/flash_form.h"
#include "app/front_end.h"
#include "app/os_services.h"
#include "app/power_guard.h"
#include "app/power_supply.h"
#include "app/sleep_watch.h"
#include "device/cddrive.h"

int RunProgram(FrontEnd& ui, std::function<bool()> restart) {
  try {
    CDDrive::SetDialogSink(&ui);
    FormEnvironment environment;
    environment.block = &OwnEmbeddedBlock();
    environment.executablePath = SelfExecutablePath();
    environment.workingDirectory = CurrentDirectory();
    environment.restartSystem = restart ? std::move(restart) : RestartSystem;
    environment.sleep = SleepMilliseconds;
    environment.clockMs = MonotonicMilliseconds;
    environment.runsOnBattery = RunsOnBattery;
    environment.keepRunning = PowerGuard::Take;
    environment.watchSleep = WatchSleep;
    TFlashForm form(ui, &ui, environment);
    form.FormCreate();
    ui.Run(form);
    form.FormDestroy();
  } catch (const std::exception& e) {
    // Nothing is expected to throw; if something does, tell the user and end cleanly.
    ui.ShowMessage(e.what(), BoxKind::Error, BoxButtons::Ok);
  }
  CDDrive::SetDialogSink(nullptr);
  return 0;
}
