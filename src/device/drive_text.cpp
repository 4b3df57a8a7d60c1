#include "device/drive_text.h"

#include <cstdio>

std::string FormatSenseText(const CommandResult& result) {
  char text[40];
  std::snprintf(text, sizeof text, "%02X %02X %02X. %02X, %04X", result.senseKey, result.asc,
                result.ascq, result.status, static_cast<unsigned>(result.errorCode));
  return text;
}

std::string DescriptionPrefix(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun,
                              char letter) {
  char text[24];
  std::snprintf(text, sizeof text, "%d-%d-%d %c: ", hostAdapter, target, lun, letter);
  return text;
}

std::string InquiryText(std::span<const std::uint8_t> inquiryData) {
  std::string text;
  for (std::size_t i = kInquiryTextOffset;
       i < inquiryData.size() && i < kInquiryTextOffset + kInquiryTextLength && inquiryData[i] != 0;
       ++i) {
    text.push_back(static_cast<char>(inquiryData[i]));
  }
  return text;
}

std::string DescribedInquiryText(const std::string& description, const std::string& prefix) {
  if (description.size() < prefix.size() || description.compare(0, prefix.size(), prefix) != 0) {
    return {};
  }
  return description.substr(prefix.size());
}
