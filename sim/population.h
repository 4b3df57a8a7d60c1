// A simulated machine's drives, read from a small line-oriented text file, so
// that process-level tests, the demo and the Windows test layers all describe
// the same drives the same way. The format is described in README.md, "Simulated drives".
//
//   sim::SimMachine machine;
//   std::string error;
//   if (!sim::LoadPopulation("one-drive.txt", machine, error)) { report error }
//
// Standard library only: the Windows test layers build it with MinGW.
#pragma once

#include <string>
#include <string_view>

#include "sim/sim_drive.h"

namespace sim {

// Adds the drives `text` describes to `machine`, in file order, with their
// faults armed. Nothing is added unless the whole text is valid; then `error`
// says "line N: what is wrong".
bool ParsePopulation(std::string_view text, SimMachine& machine, std::string& error);

// The same for a file; errors read "PATH:N: what is wrong", or name the file
// when it cannot be read.
bool LoadPopulation(const std::string& path, SimMachine& machine, std::string& error);

}  // namespace sim
