// The SG_IO outcome over arbitrary header fields and sense bytes. Input: the
// ioctl's error, SCSI status, host and driver status, sense length written,
// residual count, transfer length, then the sense bytes.
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "device/linux_sg_io.h"
#include "device/sense_data.h"
#include "fuzz_support.h"

namespace {

constexpr std::uint8_t kHostTimedOut = 0x03;
constexpr std::size_t kPadding = 64;

bool Same(const DecodedSense& a, const DecodedSense& b) {
  return a.valid == b.valid && a.key == b.key && a.asc == b.asc && a.ascq == b.ascq;
}

bool Same(const CommandResult& a, const CommandResult& b) {
  return a.senseKey == b.senseKey && a.asc == b.asc && a.ascq == b.ascq && a.status == b.status &&
         a.callSucceeded == b.callSucceeded && a.errorCode == b.errorCode &&
         a.transferred == b.transferred;
}

// Decoding reads nothing past the bytes it is given: the same prefix in an
// allocation of its own, followed by zeros, and followed by other bytes
// decodes alike.
void CheckDecoding(std::span<const std::uint8_t> sense, std::uint8_t filler) {
  const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[sense.size() + 1]);
  if (!sense.empty()) std::memcpy(exact.get(), sense.data(), sense.size());
  const DecodedSense alone = DecodeSense(std::span(exact.get(), sense.size()));

  std::vector<std::uint8_t> zeros(sense.begin(), sense.end());
  zeros.resize(sense.size() + kPadding, 0);
  std::vector<std::uint8_t> other(sense.begin(), sense.end());
  other.resize(sense.size() + kPadding, filler);
  FUZZ_CHECK(Same(alone, DecodeSense(zeros)));
  FUZZ_CHECK(Same(alone, DecodeSense(std::span(other).first(sense.size()))));

  const std::uint8_t code = sense.empty() ? 0 : (sense[0] & 0x7F);
  FUZZ_CHECK(alone.valid == (code >= 0x70 && code <= 0x73));
  if (!alone.valid) FUZZ_CHECK(alone.key == 0 && alone.asc == 0 && alone.ascq == 0);
  // Only the FILEMARK/EOM/ILI bits may be added to a descriptor's key byte.
  if (code == 0x72 || code == 0x73) {
    FUZZ_CHECK((alone.key & 0x1F) == ((sense.size() > 1 ? sense[1] : 0) & 0x1F));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t errorPick = in.Byte();
  const int ioctlError = errorPick < 0xF0 ? 0 : errorPick - 0xEF;  // mostly none
  SgIoExchange exchange;
  PrepareSgIo(exchange, DriveCommand{}, nullptr, 60);
  sg_io_hdr_t& h = exchange.header;
  h.status = in.Byte();
  h.host_status = in.Byte() & 0x0F;
  h.driver_status = in.Byte();
  h.sb_len_wr = in.Byte();
  h.resid = static_cast<int>(in.Word());
  h.dxfer_len = in.Word();
  const std::uint8_t filler = in.Byte();
  const auto sense = in.Bytes(kSgSenseLength);
  std::copy(sense.begin(), sense.end(), exchange.sense.begin());

  CheckDecoding(sense, filler);

  CommandResult result;
  RecordSgIoResult(exchange, ioctlError, result);

  // Sense bytes beyond what the driver wrote do not count.
  const std::size_t written = std::min<std::size_t>(h.sb_len_wr, kSgSenseLength);
  std::fill(exchange.sense.begin() + static_cast<std::ptrdiff_t>(written), exchange.sense.end(),
            filler);
  CommandResult again;
  RecordSgIoResult(exchange, ioctlError, again);
  FUZZ_CHECK(Same(result, again));

  if (ioctlError != 0) {
    FUZZ_CHECK(!result.callSucceeded && result.errorCode == static_cast<std::uint32_t>(ioctlError));
    FUZZ_CHECK(!result.transferred);
    return 0;
  }
  // A call either succeeded or names its error; never both, never neither.
  FUZZ_CHECK(result.callSucceeded == (result.errorCode == 0));
  const DecodedSense decoded = DecodeSense(std::span(exchange.sense).first(written));
  FUZZ_CHECK(result.senseKey == decoded.key && result.asc == decoded.asc &&
             result.ascq == decoded.ascq && result.status == h.status);
  if (h.status != kScsiStatusGood && !decoded.valid) FUZZ_CHECK(!result.callSucceeded);
  if (h.host_status == kHostTimedOut) FUZZ_CHECK(result.errorCode == ETIMEDOUT);
  if (h.host_status != 0) FUZZ_CHECK(!result.callSucceeded);

  // A successful call says how much moved, never more than was asked for.
  FUZZ_CHECK(result.transferred.has_value() == result.callSucceeded);
  if (result.transferred) {
    FUZZ_CHECK(*result.transferred <= h.dxfer_len);
    if (h.resid >= 0 && static_cast<unsigned>(h.resid) <= h.dxfer_len) {
      FUZZ_CHECK(*result.transferred == h.dxfer_len - static_cast<unsigned>(h.resid));
    }
  }
  return 0;
}
