// The demo program: the shipped program over one simulated drive of the
// demo model, so that building, eligibility and the whole flash sequence can
// be rehearsed on a machine without such a drive. Flashers it builds carry
// the same simulated drive.
#include <iostream>

#include "app/program.h"
#include "sim/sim_transport.h"
#include "ui/front_end_choice.h"

int main() {
  sim::SimMachine machine;
  sim::DriveConfig drive;
  drive.vendor = "ACME    ";
  drive.product = "DVD-ROM DVD-616 ";
  drive.revision = "AB12";
  drive.revisionAfterFlash = "SM01";
  drive.flashChipId = {0xDA, 0xC8, 0x00, 0x00};
  drive.mediumPresent = false;
  drive.becomingReadyPolls = 3;
  drive.host = 1;
  machine.AddDrive(drive);
  sim::ScopedSimTransport path(machine);
  // A rehearsal never restarts the machine it runs on.
  return RunProgram(*ChooseFrontEnd(), [] { std::cout << "demo: the system restart would be asked for now\n"; });
}
