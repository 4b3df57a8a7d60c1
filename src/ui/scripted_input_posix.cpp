#include <unistd.h>

#include "ui/scripted_input.h"

bool StandardInputIsScripted() { return isatty(STDIN_FILENO) == 0; }
