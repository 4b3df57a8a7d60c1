#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

#include "ui/console/console_lines.h"

void StdioLines::DiscardTypeAhead() {
  if (isatty(STDIN_FILENO) != 1) return;
  tcflush(STDIN_FILENO, TCIFLUSH);
  __fpurge(stdin);
}
