// Descriptors 0, 1 and 2 are where the program reads and writes its console
// text. One that a caller left closed would be given to the next file the
// program opens (a drive, the flasher being built), which would then receive
// that text; each closed one is opened on the null device first.
#pragma once

void OpenClosedStandardStreams();
