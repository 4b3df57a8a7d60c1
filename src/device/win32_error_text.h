// The system's text for a Windows error code, as both Windows transport
// paths report it in the sense error box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// FormatMessageA into an 80-character buffer, line end included; nullopt
// when the system has no text that fits.
std::optional<std::string> Win32SystemErrorText(std::uint32_t errorCode);
