// Program entry. The program reads no command line and no environment.
#include "app/program.h"

int main() { return RunProgram(); }
