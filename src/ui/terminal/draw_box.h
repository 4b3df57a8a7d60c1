// Draws a message box over whatever the screen shows.
#pragma once

#include "ui/terminal/message_box.h"
#include "ui/terminal/palette.h"

void DrawBox(const MessageBoxView& box, const BoxLayout& layout, const Palette& palette);
