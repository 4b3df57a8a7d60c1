// Flasher mode, after the warning was accepted: find the drives, keep those
// the record accepts, and report what was found when none is.
#include <string>

#include "app/flash_form.h"
#include "app/ordinal_text.h"
#include "device/cddrives.h"

namespace {

// A drive whose identification reads this from its third character on (the
// vendor field's last six characters, the product field's first seven) passes
// the identification test of every flasher, whatever texts its record holds;
// its first two characters may be anything. The revision test still applies.
// Built flashers have always accepted such drives, so the rule stays though
// no record names it.
constexpr char kAnyVoraDrive[] = "VORA  DVD-ROM";
constexpr std::size_t kVoraAt = 2;

}  // namespace

void TFlashForm::FindEligibleDrives() {
  std::string report = "\nERROR:\n";
  if (UnrestrictedRange()) {
    report += "\nCan't found " + ModelText + " drive !\n" + "\nThis flash utility only supports " +
              ModelText + "\n";
  } else {
    report += "\nCan't found " + ModelText + " firmware : " + RangeText + " drive !\n" +
              "\nThis flash utility only supports " + ModelText + " firmware: " + RangeText + "\n";
  }

  Drives = std::make_unique<CDDrives>();
  if (Drives->Count() == 0) {
    report += "\nCan't find ATAPI Drive !\n";
    host_.ShowMessage(report, BoxKind::Error, BoxButtons::Ok);
    host_.PostQuit();
    host_.CloseWindow();
    return;
  }

  report += "\nDetected drives:\n" + std::string(59, '-') + "\n";
  std::size_t listed = 0;
  for (int i = 0; i < Drives->Count(); ++i) {
    Drives->Select(static_cast<std::int16_t>(i));
    if (CheckCondition()) {
      // The map has room for a fixed number of lines; further eligible
      // drives are not offered rather than written past it.
      if (listed == DriveIndexMap.size()) continue;
      ComboBox.Add(Drives->Current()->Description());
      DriveIndexMap[listed++] = i;
    } else {
      report += Drives->Current()->Description() + "\n";
    }
  }

  if (ComboBox.Items().empty()) {
    host_.ShowMessage(report, BoxKind::Error, BoxButtons::Ok);
    host_.PostQuit();
    host_.CloseWindow();
    return;
  }
  ComboBox.SetItemIndex(0);
  Drives->Select(static_cast<std::int16_t>(DriveIndexMap[0]));
  TransferBuffer.assign(kTransferBufferSize, 0);
  CDDrive::SetBuffer(TransferBuffer.data(), kTransferBufferSize);
  transferBuffer_ = CDDrive::GetBuffer();
  CheckNewFormatBIN();
  protocol_.drives = Drives.get();
  protocol_.dialogs = &host_;
  ComboBoxChange();
}

bool TFlashForm::CheckCondition() {
  CDDrive* drive = Drives->Current();
  const std::string identification = drive->VendorProduct();
  const std::string revision = drive->Revision();

  const char* inquiry10 = record_.RawField(RecordField::Inquiry10);
  if (inquiry10[0] == '-' && inquiry10[1] == '-') return true;

  constexpr std::size_t kVoraLength = sizeof kAnyVoraDrive - 1;
  bool known = identification.size() >= kVoraAt + kVoraLength &&
               identification.compare(kVoraAt, kVoraLength, kAnyVoraDrive) == 0;
  for (const std::string& text : InquiryText) known = known || identification == text;
  if (!known) return false;

  if (UnrestrictedRange()) return true;
  for (std::size_t r = 0; r < 3; ++r) {
    if (!OrdinalLess(revision, RangeLow[r]) && !OrdinalLess(RangeHigh[r], revision)) return true;
  }
  return false;
}
