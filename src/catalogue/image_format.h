// The three ways a firmware image asks to be flashed, told apart by a
// 05 80 signature at fixed offsets of the image region.
#pragma once

enum class ImageFormat {
  Plain,          // no flash profile, no critical entry
  CriticalEntry,  // profile matched on 2 ID bytes, critical-entry command after the image
  ExtendedId,     // profile matched on 4 ID bytes, no critical entry
};
