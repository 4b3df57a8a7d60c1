// The record read-outs over arbitrary blocks: the view's fields, and what the
// flasher-mode start makes of them. Input: the marker and record bytes (252),
// then a pattern repeated over the image region.
#include <cstring>
#include <string>

#include "catalogue/embedded_block.h"
#include "fuzz_form.h"
#include "fuzz_support.h"
#include "sim/sim_transport.h"

namespace {

constexpr std::size_t kRecordEnd = offsetof(EmbeddedBlock, image);
constexpr char kWarningStart[] = "\nWARNING:\n\nThis flash utility only supports ";
constexpr char kRestrictedAt[] = " drive with firmware:";
constexpr char kUnrestrictedAt[] = " drive. \n";
constexpr std::size_t kRangeWidth = 9;

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

void CheckView(const EmbeddedBlock& block, const ModelRecordView& view) {
  for (std::size_t i = 0; i < kRecordTextFields; ++i) {
    const auto field = static_cast<RecordField>(i);
    const char* raw = block.fields[i];
    const std::string text = view.Field(field);
    FUZZ_CHECK(text.size() <= kRecordFieldSize && !HasNul(text));
    FUZZ_CHECK(text.size() == kRecordFieldSize || raw[text.size()] == '\0');
    FUZZ_CHECK(std::memcmp(text.data(), raw, text.size()) == 0);
    for (std::size_t from = 0; from <= kRecordFieldSize + 1; ++from) {
      const std::string tail = view.FieldFrom(field, from);
      FUZZ_CHECK(!HasNul(tail));
      FUZZ_CHECK(from < kRecordFieldSize ? tail.size() <= kRecordFieldSize - from : tail.empty());
      if (from <= text.size()) FUZZ_CHECK(tail == text.substr(from));
    }
  }
  // The file mask never reaches the record: it reads as empty, not as the bytes after Note.
  FUZZ_CHECK(view.Field(RecordField::BINMask).empty() &&
             view.FieldFrom(RecordField::BINMask, 0).empty());
  FUZZ_CHECK(view.BinNameRevision().size() == 4 && !HasNul(view.BinNameRevision()));
  std::uint32_t size = 0;
  for (int b = 3; b >= 0; --b) size = (size << 8) | block.binSize[b];
  FUZZ_CHECK(view.BinSize() == size);
  FUZZ_CHECK(view.FlashAll() == (std::memcmp(block.fields[8], "FLASH-ALL", 9) == 0));
  FUZZ_CHECK(view.IsBuilder() == (std::memcmp(block.image, "ZEDA", 4) == 0));
}

// The warning names the vendor and model as read, and the range in its width.
void CheckWarning(const std::string& text, const ModelRecordView& view) {
  std::string vendor = fuzz::Upper(view.Field(RecordField::Vendor));
  const std::string start = kWarningStart + vendor + " " + view.Field(RecordField::Model);
  FUZZ_CHECK(text.rfind(start, 0) == 0);
  const std::string rest = text.substr(start.size());
  if (rest.rfind(kRestrictedAt, 0) == 0) {
    const std::size_t at = sizeof kRestrictedAt - 1;
    FUZZ_CHECK(rest.size() > at + kRangeWidth && rest[at + kRangeWidth] == '\n');
    FUZZ_CHECK(!HasNul(rest.substr(at, kRangeWidth)));
  } else {
    FUZZ_CHECK(rest.rfind(kUnrestrictedAt, 0) == 0);
  }
}

struct StartOutcome {
  RecordingHost host;
  std::string caption, label;
};

void Start(const EmbeddedBlock& block, StartOutcome& out) {
  sim::SimMachine noDrives;
  sim::ScopedSimTransport path(noDrives);
  CDDrive::SetDialogSink(&out.host);
  TFlashForm form(out.host, nullptr, fuzz::NowhereEnvironment(block));
  form.FormCreate();
  out.caption = form.Caption.Caption();
  out.label = form.SelectDriveLabel.Caption();
  // The image's format is judged within the region, and the length is the record's.
  const bool extended = form.CheckNewFormatBIN();
  FUZZ_CHECK(extended == (form.Format() != ImageFormat::Plain));
  FUZZ_CHECK(form.ImageLength() == ModelRecordView(block).BinSize());
  form.FormDestroy();
  CDDrive::SetDialogSink(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto record = in.Bytes(kRecordEnd);
  const auto image = in.Bytes(size);
  EmbeddedBlock* const block = &fuzz::SharedBlock();
  fuzz::FillBlock(*block, record, image);
  const ModelRecordView view(*block);
  CheckView(*block, view);
  if (view.IsBuilder()) return 0;  // builder mode reads the description file, not the record

  for (const BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
    StartOutcome out{RecordingHost(answer), {}, {}};
    Start(*block, out);
    const auto& boxes = out.host.boxes;
    FUZZ_CHECK(!boxes.empty());
    for (const auto& box : boxes) FUZZ_CHECK(!HasNul(box.text));
    FUZZ_CHECK(!HasNul(out.caption) && !HasNul(out.label));
    // Every way out of the start without a drive asks to quit, once.
    FUZZ_CHECK(out.host.quits == 1 && out.host.closed);
    // A size beyond the region, or an image that no longer gives its stored CRC.
    if (view.BinSize() == 0 || !view.RecordIntact()) {
      FUZZ_CHECK(boxes.size() == 1 && boxes[0].kind == BoxKind::Error);
      continue;
    }
    FUZZ_CHECK(boxes[0].kind == BoxKind::Warning && boxes[0].buttons == BoxButtons::YesNo);
    CheckWarning(boxes[0].text, view);
    FUZZ_CHECK(boxes.size() == (answer == BoxAnswer::Yes ? 2u : 1u));
    if (answer == BoxAnswer::Yes) {
      FUZZ_CHECK(boxes[1].kind == BoxKind::Error);
      FUZZ_CHECK(out.caption == fuzz::Upper(view.Field(RecordField::Vendor)) + kUtilityCaption +
                                    view.Field(RecordField::Model));
    }
  }
  return 0;
}
