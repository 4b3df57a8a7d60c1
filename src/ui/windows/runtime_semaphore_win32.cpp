// The GCC runtime's locks (exception unwinding, thread-local data, static
// initialisation) create their semaphores with CreateSemaphoreW, which the
// Windows 9x family exports only as a stub that fails: two threads meeting
// at such a lock would then both pass it. The 32-bit program's import slot
// of that name therefore points here, and unnamed semaphores, all the
// runtime asks for, are made with CreateSemaphoreA, which every release has.
// Linked into the 32-bit executable itself, so that the slot is defined
// before the import libraries are searched.
#include <windows.h>

#include "common/system_library_win32.h"

namespace {

using CreateSemaphoreWFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

HANDLE WINAPI CreateSemaphoreOnEveryRelease(LPSECURITY_ATTRIBUTES attributes, LONG initial,
                                            LONG maximum, LPCWSTR name) {
  if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
  // A named one (never asked for today) needs the wide call: the NT family.
  static const auto wide =
      win32::SystemFunction<CreateSemaphoreWFn>("kernel32.dll", "CreateSemaphoreW");
  if (wide == nullptr) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return wide(attributes, initial, maximum, name);
}

}  // namespace

// The slot that `call *__imp__CreateSemaphoreW@16` in the runtime reads.
extern "C" const CreateSemaphoreWFn runtimeCreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
extern "C" const CreateSemaphoreWFn runtimeCreateSemaphoreW = &CreateSemaphoreOnEveryRelease;
