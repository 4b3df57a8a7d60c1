// Which drive a flasher offers, over arbitrary record fields and INQUIRY
// data. Input: the seven identification and range fields (25 bytes each,
// Model first), then the drive's INQUIRY answer.
//
// The rule is not written out again here: a second copy would only find
// slips in a rewrite. Instead each input is judged as it comes and again
// after changes whose effect is known without the rule: the any-drive
// marker offers every drive; a record naming the drive with an open range
// offers it; a record naming nobody offers no drive but the VORA family;
// widening a range never drops a drive; a range that is the drive's own
// revision at both bounds takes it.
#include <array>
#include <cstring>
#include <string>
#include <vector>

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
constexpr std::size_t kBoundLength = 4;
constexpr RecordField kInquiryFields[] = {RecordField::Inquiry10, RecordField::Inquiry20,
                                          RecordField::Inquiry30};
constexpr RecordField kRangeFields[] = {RecordField::FwRange10, RecordField::FwRange20,
                                        RecordField::FwRange30};
// The family that passes the identification test whatever the record names,
// and where it sits in the INQUIRY answer (from the vendor's third byte).
constexpr char kFamily[] = "VORA  DVD-ROM";
constexpr std::size_t kFamilyAt = 10;
constexpr std::size_t kIdentificationAt = 8;
constexpr std::size_t kIdentificationLength = 24;

using Fields = std::array<std::array<char, kRecordFieldSize>, kFields>;

char* FieldOf(Fields& fields, RecordField f) { return fields[static_cast<std::size_t>(f)].data(); }

// Only the record changes from input to input; the image region stays as
// the first input left it.
void MakeFlasher(EmbeddedBlock& block, const Fields& fields) {
  std::memset(&block, 0, offsetof(EmbeddedBlock, image));
  std::memcpy(block.fields, fields.data(), sizeof fields);
  std::memcpy(block.fields[static_cast<std::size_t>(RecordField::Vendor)], "Acme", 4);
  for (int b = 0; b < 4; ++b) block.binSize[b] = static_cast<std::uint8_t>(kImageLength >> (8 * b));
  block.image[0] = 'F';
}

struct Judgement {
  std::string offered;  // the combo item, empty when the drive was refused
  std::string description;
  std::string identification;
  std::string revision;
};

// Starts a flasher with `fields` on a machine with one drive answering
// `inquiry`, checks what holds for every start, and says what it offered.
Judgement Judge(const Fields& fields, const std::vector<std::uint8_t>& inquiry) {
  EmbeddedBlock& block = fuzz::SharedBlock();
  MakeFlasher(block, fields);
  sim::SimMachine machine;
  sim::DriveConfig config;
  config.dramSize = 0;  // start-up never loads an image; sparing 1 MiB per input
  config.rawInquiry = inquiry;
  if (config.rawInquiry.empty()) config.rawInquiry.push_back(0);
  sim::SimDrive& simDrive = machine.AddDrive(config);
  sim::ScopedSimTransport path(machine);

  RecordingHost host(BoxAnswer::Yes);
  CDDrive::SetDialogSink(&host);
  Judgement j;
  {
    TFlashForm form(host, nullptr, fuzz::NowhereEnvironment(block));
    form.FormCreate();
    const auto& items = form.ComboBox.Items();
    FUZZ_CHECK(items.size() <= 1);
    if (!items.empty()) {
      j.offered = items[0];
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
  j.description = drive.Description();
  j.identification = drive.VendorProduct();
  j.revision = drive.Revision();
  FUZZ_CHECK(j.identification.size() == kIdentificationLength && j.revision.size() == 4);
  FUZZ_CHECK(j.identification.find('\0') == std::string::npos);
  FUZZ_CHECK(j.revision.find('\0') == std::string::npos);
  FUZZ_CHECK(j.description.find('\0') == std::string::npos);
  FUZZ_CHECK(j.description.size() <=
             DescriptionPrefix(config.host, config.target, config.lun, config.letter).size() +
                 kInquiryTextLength);
  // An offered drive is shown by its own line; a refused one is named in the report.
  if (!j.offered.empty()) {
    FUZZ_CHECK(j.offered == j.description);
  } else {
    FUZZ_CHECK(host.boxes.back().text.find("\n" + j.description + "\n") != std::string::npos);
  }
  CDDrive::SetDialogSink(nullptr);
  return j;
}

bool Offered(const Fields& fields, const std::vector<std::uint8_t>& inquiry) {
  return !Judge(fields, inquiry).offered.empty();
}

void SetText(char* field, const std::string& text) {
  std::memset(field, 0, kRecordFieldSize);
  std::memcpy(field, text.data(), std::min(text.size(), kRecordFieldSize - 1));
}

bool IsOpen(const char* range) { return range[0] == '-' && range[kHighBoundAt] == '-'; }

// The widest range a 4-character revision without NUL bytes can meet:
// every such revision lies between these bounds.
void SetWidest(char* range) {
  std::memset(range, 0, kRecordFieldSize);
  std::memset(range, 0x01, kBoundLength);
  range[kBoundLength] = '-';
  std::memset(range + kHighBoundAt, 0xFF, kBoundLength);
}

// A text that differs from `identification` in its first byte and cannot
// be read as a marker.
std::string OtherThan(const std::string& identification) {
  std::string other = identification;
  other[0] = identification[0] == 'A' ? 'B' : 'A';
  return other;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto raw = in.Bytes(kFields * kRecordFieldSize);
  if (raw.size() < kFields * kRecordFieldSize) return 0;
  Fields fields{};
  std::memcpy(fields.data(), raw.data(), raw.size());
  const auto inquiryBytes = in.Bytes(sim::kInquiryDataLength);
  const std::vector<std::uint8_t> inquiry(inquiryBytes.begin(), inquiryBytes.end());

  const Judgement first = Judge(fields, inquiry);
  const std::string& id = first.identification;
  const bool family = id.compare(2, std::strlen(kFamily), kFamily) == 0;

  // The any-drive marker offers every drive, whatever the rest says.
  Fields any = fields;
  FieldOf(any, RecordField::Inquiry10)[0] = '-';
  FieldOf(any, RecordField::Inquiry10)[1] = '-';
  FUZZ_CHECK(Offered(any, inquiry));

  // Naming the drive in any entry, with the first range open, offers it.
  const RecordField namedIn = kInquiryFields[in.Byte() % 3];
  Fields named = fields;
  SetText(FieldOf(named, namedIn), id);
  FieldOf(named, RecordField::FwRange10)[0] = '-';
  FieldOf(named, RecordField::FwRange10)[kHighBoundAt] = '-';
  FUZZ_CHECK(Offered(named, inquiry));

  // A record naming nobody offers no drive but the family, even with every
  // revision accepted.
  Fields nobody = fields;
  for (const RecordField f : kInquiryFields) SetText(FieldOf(nobody, f), OtherThan(id));
  for (const RecordField f : kRangeFields) SetWidest(FieldOf(nobody, f));
  FUZZ_CHECK(Offered(nobody, inquiry) == family);

  // ... and the family it does offer: the same drive made one of it.
  std::vector<std::uint8_t> member = inquiry;
  member.resize(std::max(member.size(), kIdentificationAt + kIdentificationLength), 'x');
  for (std::size_t i = kIdentificationAt; i < kIdentificationAt + kIdentificationLength; ++i) {
    if (member[i] == 0) member[i] = 'x';
  }
  std::memcpy(&member[kFamilyAt], kFamily, std::strlen(kFamily));
  FUZZ_CHECK(Offered(nobody, member));

  // The bounds belong to the range: the drive's own revision at both takes it.
  const RecordField ownIn = kRangeFields[in.Byte() % 3];
  Fields own = fields;
  SetText(FieldOf(own, RecordField::Inquiry10), id);
  SetText(FieldOf(own, ownIn), first.revision + "-" + first.revision);
  FUZZ_CHECK(Offered(own, inquiry));

  // Widening a range never drops a drive. The first range is left alone
  // when it is open: its dashes are the marker, not bounds.
  if (!first.offered.empty()) {
    const RecordField widened = kRangeFields[in.Byte() % 3];
    Fields wider = fields;
    if (widened != RecordField::FwRange10 || !IsOpen(FieldOf(wider, widened))) {
      SetWidest(FieldOf(wider, widened));
      FUZZ_CHECK(Offered(wider, inquiry));
    }
  }
  return 0;
}
