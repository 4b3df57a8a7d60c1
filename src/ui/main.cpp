// Program entry. The program reads no command line and no environment.
#include "app/program.h"
#include "ui/front_end_choice.h"

int main() { return RunProgram(*ChooseFrontEnd()); }
