// Program entry. The program reads no command line and no environment.
#include "app/os_services.h"
#include "app/program.h"
#include "ui/front_end_choice.h"
#include "ui/standard_streams.h"

int main() {
  OpenClosedStandardStreams();  // before anything opens a file
  ProtectLibrarySearch();       // before the window's libraries load theirs
  return RunProgram(*ChooseFrontEnd());
}
