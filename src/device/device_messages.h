// Every text the device module puts in front of the user.
#pragma once

inline constexpr char kOpenFailureFormat[] = "Error opening: %d, Drive: %s";
inline constexpr char kSenseReportFormat[] = "SenseCode: %02X %02X %02X, %02X, Error: %d, %s";
inline constexpr char kSenseReportNoTextFormat[] =
    "SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.";
// Command, transfer length, buffer length.
inline constexpr char kTransferRefusedFormat[] =
    "Command %02Xh was not sent: it moves %u bytes, but the data buffer holds only %u bytes.";
// The device path and what frees it: a mounted disc or another program holds
// the drive.
inline constexpr char kInUseFormat[] =
    "The drive %s is in use: a disc in it is mounted, or another program holds it.\n"
    "Nothing was sent to the drive. %s";
// The device path.
inline constexpr char kUnmountAdviceFormat[] =
    "Unmount the disc (umount %s) or close that program, then try again.";
inline constexpr char kCloseProgramsAdvice[] =
    "Close the programs that use the drive or a file on its disc (an Explorer window "
    "showing it too), then try again.";
// The device path and the time-out in seconds.
inline constexpr char kTimedOutFormat[] =
    "The drive %s did not answer within %u seconds and was reset by the system.";
// The device path.
inline constexpr char kGoneFormat[] =
    "The drive %s is no longer there: it was unplugged or switched off.\n"
    "Connect it again, then start the update again.";
