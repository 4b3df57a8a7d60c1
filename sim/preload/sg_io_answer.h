// What the kernel's SG_IO would report for one command a simulated drive ran:
// the request is checked as the block layer checks it, the drive executes it,
// and status, sense, residual and host status are filled in.
#pragma once

#include <scsi/sg.h>

#include <cstdint>

#include "sim/fixed_sense.h"
#include "sim/sim_drive.h"

namespace sim {

// Host status values of the SCSI mid-layer that the simulated outcomes map to.
inline constexpr std::uint16_t kHostNoConnect = 0x01;  // DID_NO_CONNECT: the drive is gone
inline constexpr std::uint16_t kHostTimedOut = 0x03;   // DID_TIME_OUT
inline constexpr std::uint16_t kHostError = 0x07;      // DID_ERROR: the request failed on the way
inline constexpr std::uint16_t kDriverSense = 0x08;    // DRIVER_SENSE: sense data came back
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

// Runs the request in `header` on `drive`. Returns 0 when the ioctl would
// succeed (the outcome is in the header), else the errno it would fail with.
// `lateMilliseconds`, when given, receives how long a completes-late fault
// holds the completion back (0 for none); the caller does the waiting.
int AnswerSgIo(SimDrive& drive, sg_io_hdr_t& header, std::uint32_t* lateMilliseconds = nullptr);

}  // namespace sim
