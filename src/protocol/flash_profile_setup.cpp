#include "protocol/flash_profile_setup.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "protocol/command_bytes.h"
#include "protocol/command_sender.h"
#include "protocol/profile_pool.h"
#include "protocol/profile_table.h"

namespace protocol {
namespace {

constexpr std::string_view kReadFlashIdPrefix = "Read Flash ID> ";
constexpr std::string_view kWriteProfilePrefix = "Write Profile> ";
constexpr std::string_view kReadProfilePrefix = "Read Profile> ";
constexpr std::string_view kEntryCriticalPrefix = "Entry critical> ";
constexpr std::string_view kProfileMismatch = "Compared profile error!";

constexpr std::uint8_t kSubReadFlashId = 0x11;
constexpr std::uint8_t kProfileControl = 0x7F;

// Critical-entry images keep their profile at buffer offset 0x080000,
// extended-id images at 0; only the top offset byte differs.
constexpr std::uint8_t kCriticalProfileOffsetHigh = 0x08;
constexpr std::uint8_t kExtendedProfileOffsetHigh = 0x00;

// Profile lengths fit 16 bits: the length field's top byte stays 0.
constexpr std::size_t kLengthHighByte = kLengthField + 1;
constexpr std::size_t kLengthLowByte = kLengthField + 2;

constexpr std::uint32_t kFlashIdAnswerLength = 128;
constexpr std::uint32_t kCriticalHeaderLength = 4;
constexpr std::uint32_t kExtendedHeaderLength = 6;
constexpr std::array<std::uint8_t, 4> kNoProfileStaging = {0xFF, 0xFF, 0x00, 0x00};
constexpr std::uint8_t kPadByte = 0x00;

void FillProfileCommand(ProtocolContext& ctx, std::uint8_t opcode, std::uint8_t mode,
                        std::uint8_t offsetHigh, std::uint32_t length, std::uint8_t control) {
  ctx.commandBlock = {opcode, mode, kBufferId};
  ctx.commandBlock[kOffsetField] = offsetHigh;
  ctx.commandBlock[kLengthHighByte] = static_cast<std::uint8_t>(length >> 8);
  ctx.commandBlock[kLengthLowByte] = static_cast<std::uint8_t>(length);
  ctx.commandBlock[kControlByte] = control;
}

void Refuse(const ProtocolContext& ctx, std::string_view prefix, const std::string& reason) {
  ShowPlain(ctx, std::string(prefix) + "refused: " + reason);
}

// Where the staged profile comes from and how many bytes it takes.
struct StagingPlan {
  ProfileLookup lookup;
  std::uint32_t headerLength = 0;  // bytes staged ahead of the code
  std::uint32_t codeLength = 0;
  std::uint32_t stagedLength = 0;  // header, code and pad
  std::uint32_t transferLength = 0;
  bool fixedSize = false;
};

StagingPlan PlanStaging(ImageFormat format, std::span<const std::uint8_t, kFlashIdBytesUsed> id) {
  const bool extended = format == ImageFormat::ExtendedId;
  StagingPlan plan;
  plan.lookup = FindFlashProfile(id, extended);
  if (plan.lookup.matched) {
    plan.headerLength = extended ? kExtendedHeaderLength : kCriticalHeaderLength;
    plan.codeLength = kProfileTable[plan.lookup.index].CodeLength();
    plan.fixedSize = IsFixedSizeProfile(plan.lookup.index);
    // The drive wants an even transfer length; a pad byte follows odd code.
    const std::uint32_t evenLength = plan.codeLength + (plan.codeLength & 1U);
    plan.stagedLength = plan.headerLength + evenLength;
    plan.transferLength = evenLength;
  } else {
    // The no-match bytes stand in for the header; extended-id images send them.
    plan.headerLength = static_cast<std::uint32_t>(kNoProfileStaging.size());
    plan.stagedLength = plan.headerLength;
  }
  // Fixed-size profiles count the header inside their 1,280 bytes.
  if (extended && !plan.fixedSize) {
    plan.transferLength += plan.headerLength;
  }
  return plan;
}

void StageProfile(const StagingPlan& plan, ImageFormat format, std::uint8_t* staging) {
  if (!plan.lookup.matched) {
    std::copy(kNoProfileStaging.begin(), kNoProfileStaging.end(), staging);
    return;
  }
  const FlashProfileEntry& entry = kProfileTable[plan.lookup.index];
  std::uint8_t* out = staging;
  *out++ = entry.manufacturer;
  *out++ = entry.device;
  if (format == ImageFormat::ExtendedId) {
    *out++ = entry.variant[0];
    *out++ = entry.variant[1];
  }
  *out++ = entry.codeLengthHigh;
  *out++ = entry.codeLengthLow;
  const auto code =
      ProfilePool().subspan(static_cast<std::size_t>(plan.lookup.poolOffset), plan.codeLength);
  out = std::copy(code.begin(), code.end(), out);
  if ((plan.codeLength & 1U) != 0) {
    *out = kPadByte;
  }
}

bool VerifyAgainstPool(const ProtocolContext& ctx, const ProfileState& state,
                       const std::uint8_t* copy, std::uint32_t copySize) {
  const std::int64_t header = state.ProfileHeaderLength;
  const std::int64_t length = state.ProfileLength;
  const std::int64_t offset = state.ProfileOffset;
  const std::int64_t codeBytes = length - header;
  if (header < 0 || codeBytes < 0 || offset < 0 || length > copySize ||
      offset + codeBytes > static_cast<std::int64_t>(kProfilePoolLength) ||
      (codeBytes > 0 && copy == nullptr)) {
    Refuse(ctx, kReadProfilePrefix, "the profile lies outside the pool or the copy.");
    return false;
  }
  const auto pool =
      ProfilePool().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(codeBytes));
  return std::equal(pool.begin(), pool.end(), copy + header);
}

bool VerifyReadBack(ProtocolContext& ctx, const ProfileState& state, const std::uint8_t* copy,
                    std::uint32_t copySize) {
  if (state.ProfileLength < 0 || static_cast<std::uint32_t>(state.ProfileLength) > copySize ||
      (state.ProfileLength > 0 && copy == nullptr)) {
    Refuse(ctx, kReadProfilePrefix, "the profile copy is shorter than the profile.");
    return false;
  }
  const auto length = static_cast<std::uint32_t>(state.ProfileLength);
  if (!CanTransfer(ctx, kReadProfilePrefix, length)) {
    return false;
  }
  FillProfileCommand(ctx, kOpReadBuffer, kReadBufferMode, kCriticalProfileOffsetHigh, length, 0);
  if (!ReceiveCommandBlock(ctx, kReadProfilePrefix, length)) {
    return false;
  }
  if (length > 0 && std::memcmp(CDDrive::GetBuffer(), copy, length) != 0) {
    ShowPlain(ctx, kProfileMismatch);
    return false;
  }
  return true;
}

}  // namespace

bool SetupFlashProfile(ProtocolContext& ctx, ImageFormat format, ProfileState& state,
                       std::uint8_t* staging, std::uint32_t stagingSize) {
  if (format == ImageFormat::Plain) {
    Refuse(ctx, kWriteProfilePrefix, "this image format carries no flash profile.");
    return false;
  }
  if (!CanTransfer(ctx, kReadFlashIdPrefix, kFlashIdAnswerLength)) {
    return false;
  }
  ctx.commandBlock = {kOpVendorFlash, kSubReadFlashId};
  if (!SendCommandBlock(ctx, kDirectionIn, kFlashIdAnswerLength)) {
    ReportCommandFailure(ctx, kReadFlashIdPrefix);
    return false;
  }
  const std::span<const std::uint8_t, kFlashIdBytesUsed> chipId(CDDrive::GetBuffer(),
                                                                kFlashIdBytesUsed);
  const StagingPlan plan = PlanStaging(format, chipId);

  if (staging == nullptr || plan.stagedLength > stagingSize) {
    Refuse(ctx, kWriteProfilePrefix,
           "the " + std::to_string(plan.stagedLength) + "-byte profile does not fit the " +
               std::to_string(staging == nullptr ? 0 : stagingSize) + "-byte staging buffer.");
    return false;
  }
  if (plan.lookup.matched &&
      static_cast<std::size_t>(plan.lookup.poolOffset) + plan.codeLength > kProfilePoolLength) {
    Refuse(ctx, kWriteProfilePrefix, "the profile's code lies outside the profile pool.");
    return false;
  }
  if (!CanTransfer(ctx, kWriteProfilePrefix, plan.transferLength)) {
    return false;
  }

  StageProfile(plan, format, staging);
  state.ProfileMatched = plan.lookup.matched;
  state.FixedSizeProfile = plan.fixedSize;
  state.ProfileOffset = plan.lookup.poolOffset;
  if (plan.lookup.matched) {
    state.ProfileHeaderLength = static_cast<std::int32_t>(plan.headerLength);
  }
  state.ProfileLength = static_cast<std::int32_t>(plan.transferLength);

  std::memcpy(CDDrive::GetBuffer(), staging, plan.transferLength);
  const std::uint8_t offsetHigh = format == ImageFormat::CriticalEntry ? kCriticalProfileOffsetHigh
                                                                       : kExtendedProfileOffsetHigh;
  FillProfileCommand(ctx, kOpWriteBuffer, kWriteBufferMode, offsetHigh, plan.transferLength,
                     kProfileControl);
  if (!SendCommandBlock(ctx, kDirectionOut, plan.transferLength)) {
    ReportCommandFailure(ctx, kWriteProfilePrefix);
    return false;
  }
  return true;
}

bool ReadVerifyProfile(ProtocolContext& ctx, ImageFormat format, const ProfileState& state,
                       const std::uint8_t* copy, std::uint32_t copySize) {
  switch (format) {
    case ImageFormat::ExtendedId:
      return VerifyAgainstPool(ctx, state, copy, copySize);
    case ImageFormat::CriticalEntry:
      return VerifyReadBack(ctx, state, copy, copySize);
    case ImageFormat::Plain:
      break;
  }
  Refuse(ctx, kReadProfilePrefix, "this image format carries no flash profile.");
  return false;
}

bool EntryCritical(ProtocolContext& ctx) {
  if (!CanTransfer(ctx, kEntryCriticalPrefix, 0)) {
    return false;
  }
  ctx.commandBlock = {kOpWriteBuffer, kWriteBufferMode, kBufferId};
  ctx.commandBlock[kControlByte] = kProfileControl;
  if (!SendCommandBlock(ctx, kDirectionIn, 0)) {
    ReportCommandFailure(ctx, kEntryCriticalPrefix);
    return false;
  }
  return true;
}

}  // namespace protocol
