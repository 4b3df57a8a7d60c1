// The system's text for a Windows error code, as both Windows transport
// paths report it in the sense error box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The system's whole text, line end included, with any "%1" left as it
// stands; nullopt when the system has no text for the code.
std::optional<std::string> Win32SystemErrorText(std::uint32_t errorCode);
