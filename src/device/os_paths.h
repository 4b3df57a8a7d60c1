// The operating system's own transport paths. Each is defined in the
// transport file of its platform and only the platform choice calls them.
#pragma once

#include "device/transport.h"

#if defined(_WIN32)
TransportPath& NtPassThroughPath();
TransportPath& AspiPath();
#elif defined(__linux__)
TransportPath& LinuxSgIoPath();
#endif
