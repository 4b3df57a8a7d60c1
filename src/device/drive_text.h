// The texts a drive shows of itself: its last result and its identification.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "device/drive_command.h"

inline constexpr std::size_t kInquiryTextOffset = 8;  // vendor, product and revision from here
inline constexpr std::size_t kInquiryTextLength = 28;
inline constexpr std::size_t kVendorProductLength = 24;
inline constexpr std::size_t kRevisionLength = 4;
inline constexpr char kFailedDescription[] = "0";

// "%02X %02X %02X. %02X, %04X": sense key, ASC, ASCQ, status, error code.
std::string FormatSenseText(const CommandResult& result);

// "%d-%d-%d %C: " for the drive's address and letter.
std::string DescriptionPrefix(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun,
                              char letter);

// The 28 characters of INQUIRY data from byte 8 on, cut at the first zero byte.
std::string InquiryText(std::span<const std::uint8_t> inquiryData);

// The inquiry text held by `description` behind `prefix`; empty when the
// description holds none (it is "0", empty or of another drive).
std::string DescribedInquiryText(const std::string& description, const std::string& prefix);
