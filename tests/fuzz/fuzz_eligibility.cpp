// Which drive a flasher offers, over arbitrary record fields and INQUIRY
// data. Input: the seven identification and range fields (25 bytes each,
// Model first), then the drive's INQUIRY answer.
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "common/scsi_opcodes.h"
#include "device/cddrive.h"
#include "device/drive_text.h"
#include "fuzz_form.h"
#include "fuzz_support.h"
#include "sim/sim_transport.h"

namespace {

constexpr std::size_t kFields = 7;  // Model, then Inquiry/FW-Range 10, 20, 30
constexpr std::uint32_t kImageLength = 16384;
constexpr std::size_t kHighBoundAt = 5;
constexpr RecordField kInquiryFields[] = {RecordField::Inquiry10, RecordField::Inquiry20,
                                          RecordField::Inquiry30};
constexpr RecordField kRangeFields[] = {RecordField::FwRange10, RecordField::FwRange20,
                                        RecordField::FwRange30};

// Only the record changes from input to input; the image region stays as
// the first input left it.
void MakeFlasher(EmbeddedBlock& block, std::span<const std::uint8_t> fields) {
  std::memset(&block, 0, offsetof(EmbeddedBlock, image));
  std::memcpy(block.fields, fields.data(), fields.size());
  std::memcpy(block.fields[static_cast<std::size_t>(RecordField::Vendor)], "Acme", 4);
  for (int b = 0; b < 4; ++b) block.binSize[b] = static_cast<std::uint8_t>(kImageLength >> (8 * b));
  block.image[0] = 'F';
}

// The record's judgement, written out plainly: a drive is offered when the
// record accepts every drive, or names this one and its revision lies in a
// range (or the first range is open at both ends).
bool Accepts(const ModelRecordView& record, const std::string& identification,
             const std::string& revision) {
  const char* inquiry10 = record.RawField(RecordField::Inquiry10);
  if (inquiry10[0] == '-' && inquiry10[1] == '-') return true;
  bool named = identification.size() >= 15 && identification.compare(2, 13, "VORA  DVD-ROM") == 0;
  for (const RecordField f : kInquiryFields) {
    named = named || identification == fixed_text::LeftAligned(record.Field(f), 24, 24);
  }
  if (!named) return false;
  const char* range10 = record.RawField(RecordField::FwRange10);
  if (range10[0] == '-' && range10[kHighBoundAt] == '-') return true;
  for (const RecordField f : kRangeFields) {
    const std::string low = fixed_text::RightAligned(record.Field(f), 4, 4);
    const std::string high = fixed_text::RightAligned(record.FieldFrom(f, kHighBoundAt), 4, 4);
    if (low.compare(revision) <= 0 && revision.compare(high) <= 0) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto fields = in.Bytes(kFields * kRecordFieldSize);
  if (fields.size() < kFields * kRecordFieldSize) return 0;
  const auto inquiry = in.Bytes(sim::kInquiryDataLength);

  EmbeddedBlock& block = fuzz::SharedBlock();
  MakeFlasher(block, fields);
  sim::SimMachine machine;
  sim::DriveConfig config;
  config.dramSize = 0;  // start-up never loads an image; sparing 1 MiB per input
  config.rawInquiry.assign(inquiry.begin(), inquiry.end());
  if (config.rawInquiry.empty()) config.rawInquiry.push_back(0);
  sim::SimDrive& simDrive = machine.AddDrive(config);
  sim::ScopedSimTransport path(machine);

  fuzz::RecordingHost host(BoxAnswer::Yes);
  CDDrive::SetDialogSink(&host);
  std::string offered;
  {
    TFlashForm form(host, nullptr, fuzz::NowhereEnvironment(block));
    form.FormCreate();
    const auto& items = form.ComboBox.Items();
    FUZZ_CHECK(items.size() <= 1);
    if (!items.empty()) {
      offered = items[0];
      FUZZ_CHECK(form.SelectedDrive() != nullptr && form.ComboBox.ItemIndex() == 0);
      FUZZ_CHECK(host.quits == 0 && host.boxes.size() == 1);
    } else {
      FUZZ_CHECK(host.quits == 1 && host.boxes.size() == 2);
      FUZZ_CHECK(host.boxes[1].kind == BoxKind::Error);
    }
    form.FormDestroy();
  }
  // Finding drives only asks them who they are.
  for (const auto& entry : simDrive.Transcript()) FUZZ_CHECK(entry.cdb[0] == scsi::kOpInquiry);

  // The drive's texts keep their widths whatever its INQUIRY data holds.
  CDDrive drive(config.letter, config.host, config.target, config.lun);
  const std::string description = drive.Description();
  const std::string identification = drive.VendorProduct();
  const std::string revision = drive.Revision();
  FUZZ_CHECK(identification.size() == 24 && revision.size() == 4);
  FUZZ_CHECK(description.find('\0') == std::string::npos);
  FUZZ_CHECK(description.size() <=
             DescriptionPrefix(config.host, config.target, config.lun, config.letter).size() +
                 kInquiryTextLength);

  const bool accepted = Accepts(ModelRecordView(block), identification, revision);
  FUZZ_CHECK(accepted == !offered.empty());
  if (accepted) {
    FUZZ_CHECK(offered == description);
  } else {
    FUZZ_CHECK(host.boxes.back().text.find("\n" + description + "\n") != std::string::npos);
  }
  CDDrive::SetDialogSink(nullptr);
  return 0;
}
