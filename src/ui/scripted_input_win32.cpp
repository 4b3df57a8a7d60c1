#include <windows.h>

#include "ui/scripted_input.h"

bool StandardInputIsScripted() {
  const DWORD type = GetFileType(GetStdHandle(STD_INPUT_HANDLE));
  return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
}
