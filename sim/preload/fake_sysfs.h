// A directory tree that stands in for /sys/class/block, listing one srN entry
// per simulated drive with its SCSI address, the way the kernel lists them.
#pragma once

#include <string>

#include "sim/sim_drive.h"

namespace sim {

// "sr0", "sr1", ...: the node name of the index-th drive.
std::string NodeName(std::size_t index);
// "sg0", "sg1", ...: the SCSI generic sibling of the index-th drive's node.
std::string SgNodeName(std::size_t index);

// Creates <root>/sys/class/block/srN/device/scsi_device/H:C:T:L (plus the
// vendor, model and rev files, device/scsi_generic/sgN and the queue's
// max_hw_sectors_kb and max_sectors_kb) for every drive of `machine` under a
// new directory in `tempDir`. Returns the root, or empty with `error` set.
std::string CreateFakeSysfs(SimMachine& machine, const std::string& tempDir, std::string& error);

// Takes the index-th drive's srN entry away, as the kernel does once an
// unplugged drive's device is removed.
void RemoveFakeBlockEntry(const std::string& root, std::size_t index);

void RemoveFakeSysfs(const std::string& root);

}  // namespace sim
