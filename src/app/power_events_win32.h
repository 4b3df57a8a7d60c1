// What the window hears of the system's power events (WM_POWERBROADCAST),
// shared with the sleep watch of the flash sequence.
#pragma once

#include <windows.h>

// Records `event`, the broadcast's wParam, and gives the window's answer:
// BROADCAST_QUERY_DENY to a suspend request while a sleep watch lives
// (95, 98, ME, 2000 and XP ask first and honour the refusal), TRUE otherwise.
LRESULT AnswerPowerBroadcast(WPARAM event);
