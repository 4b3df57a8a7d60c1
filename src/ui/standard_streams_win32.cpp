#include "ui/standard_streams.h"

// Drives and the builder's files are Win32 handles, never the C runtime's
// descriptors 0 to 2: the console text cannot reach them.
void OpenClosedStandardStreams() {}
