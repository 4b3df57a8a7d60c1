#include "app/flash_form.h"

#include "app/run_guard.h"
#include "catalogue/flasher_builder.h"
#include "catalogue/path_text.h"
#include "common/fixed_text.h"
#include "device/cddrives.h"

namespace {

constexpr std::array<RecordField, 3> kRangeFields = {RecordField::FwRange10, RecordField::FwRange20,
                                                     RecordField::FwRange30};
constexpr std::array<RecordField, 3> kInquiryFields = {
    RecordField::Inquiry10, RecordField::Inquiry20, RecordField::Inquiry30};
constexpr std::size_t kHighBoundAt = 5;  // "LLLL-HHHH"

// Routes a build's status, progress and messages to the form's controls.
class FormBuildReporter final : public BuildReporter {
 public:
  FormBuildReporter(TCaptioned& status, TProgressBar& progress, FormHost& host)
      : status_(status), progress_(progress), host_(host) {}
  void SetStatus(const std::string& text) override {
    status_.SetCaption(text);
    host_.Repaint();
  }
  void SetupProgress(std::uint32_t max, std::uint32_t step) override {
    progress_.SetMin(0);
    progress_.SetMax(max);
    progress_.SetPosition(0);
    progress_.SetStep(step);
  }
  void StepProgress(std::uint32_t steps) override {
    if (steps) progress_.StepIt(steps);
  }
  void SetProgress(std::uint32_t position) override { progress_.SetPosition(position); }
  void ShowMessage(const std::string& text) override {
    host_.ShowMessage(text, BoxKind::Plain, BoxButtons::Ok);
  }

 private:
  TCaptioned& status_;
  TProgressBar& progress_;
  FormHost& host_;
};

}  // namespace

TFlashForm::TFlashForm(FormHost& host, ControlObserver* observer, FormEnvironment environment)
    : host_(host), env_(std::move(environment)), record_(*env_.block) {
  for (Control* c :
       std::initializer_list<Control*>{&Caption, &SelectDriveLabel, &ComboBox, &FileListBox1,
                                       &GroupBox2, &ProgressBar, &FlashButton}) {
    c->SetObserver(observer);
  }
}

TFlashForm::~TFlashForm() = default;

void TFlashForm::SetStatus(const std::string& text) {
  GroupBox2.SetCaption(text);
  host_.Repaint();
}

void TFlashForm::AppendStatus(const std::string& text) { SetStatus(GroupBox2.Caption() + text); }

void TFlashForm::FormCreate() {
  format_ = ImageFormat::Plain;
  Caption.SetCaption(kUtilityCaption);
  builderMode_ = record_.IsBuilder();
  if (builderMode_) {
    StartBuilderMode();
  } else {
    StartFlasherMode();
  }
}

void TFlashForm::StartBuilderMode() {
  FileListBox1.SetDirectory(env_.workingDirectory);
  if (!RetriveINI()) return;
  FileListBox1.SetVisible(true);
  SelectDriveLabel.SetCaption("Select Model: ");
  FlashButton.SetCaption("Build");
  FlashButton.SetEnabled(false);
}

bool TFlashForm::RetriveINI() {
  models_ = ModelLists{};
  const std::string path = ModelFilePathFor(env_.executablePath);
  if (!ModelFileExists(path)) {
    host_.ShowMessage("Can't load " + path, BoxKind::Plain, BoxButtons::Ok);
    host_.PostQuit();
    return false;
  }
  // A file that exists but cannot be read gives no key at all, like the
  // system's profile reader: the first section is then reported as faulty.
  IniFile ini;
  IniFile::Load(path, ini);

  std::string section;
  for (std::size_t i = 0; i < kMaxModels; ++i) {
    section = ModelSectionName(i);
    ModelValues values = ReadModelSection(ini, section);
    models_.Append(values);
    if (values[static_cast<std::size_t>(RecordField::Model)] == kMissingValue) break;
    // A later section with a missing key must leave nothing selected, so the
    // whole catalogue is refused.
    ComboBox.SetItemIndex(-1);
    bool complete = true;
    for (std::size_t k = 1; k < kModelFieldCount && complete; ++k)
      complete = values[k] != kMissingValue;
    if (!complete) break;
    ComboBox.Add(values[static_cast<std::size_t>(RecordField::FwRange10)] + " " +
                 values[static_cast<std::size_t>(RecordField::Inquiry10)]);
    ComboBox.SetItemIndex(0);
    NormaliseModel(values);
    models_.ReplaceLast(values);
  }

  if (ComboBox.ItemIndex() == -1) {
    host_.ShowMessage(path + " > Session " + section + " error!", BoxKind::Plain, BoxButtons::Ok);
    host_.PostQuit();
    return false;
  }
  ComboBoxChange();
  return true;
}

void TFlashForm::ComboBoxChange() {
  const int k = ComboBox.ItemIndex();
  const bool valid = k >= 0 && k < static_cast<int>(ComboBox.Items().size());
  if (!builderMode_) {
    if (valid && Drives && Drives->Select(static_cast<std::int16_t>(DriveIndexMap[k]))) {
      selectedDrive_ = Drives->Current();
      protocol_.selectedDrive = selectedDrive_;
    }
    return;
  }
  if (!valid) {
    // Typed text names no model: nothing may be built until one is chosen.
    FlashButton.SetEnabled(false);
    return;
  }
  const auto index = static_cast<std::size_t>(k);
  FileListBox1.SetMask(models_.Value(index, RecordField::BINMask));
  Caption.SetCaption(std::string(kUtilityCaption) + models_.Value(index, RecordField::FwRange10) +
                     " [Buiding]");
  FlashButton.SetEnabled(false);
}

void TFlashForm::FileListBox1Click() {
  chosenFile_ = FileNamePart(FileListBox1.SelectedName());
  FlashButton.SetEnabled(true);
}

bool TFlashForm::NewBuildFlashProgram() {
  const int k = ComboBox.ItemIndex();
  if (k < 0 || k >= static_cast<int>(ComboBox.Items().size())) return false;
  BuildRequest request;
  for (std::size_t key = 0; key < kModelFieldCount; ++key) {
    request.model[key] = models_.Value(static_cast<std::size_t>(k), static_cast<RecordField>(key));
  }
  request.chosenName = chosenFile_;
  request.firmwarePath = JoinPath(FileListBox1.Directory(), FileListBox1.SelectedName());
  request.executablePath = env_.executablePath;
  request.outputDirectory = env_.workingDirectory;
  request.marker = record_.Marker();
  FormBuildReporter reporter(GroupBox2, ProgressBar, host_);
  return ::NewBuildFlashProgram(request, reporter);
}

void TFlashForm::StartFlasherMode() {
  // A record that claims more image than the region holds would make every
  // later step read past the region; one that claims none would send the
  // flash-start command to a drive whose DRAM was never loaded. Refuse both
  // before anything else.
  const std::uint32_t claimed = record_.BinSize();
  if (claimed == 0 || claimed > kImageCapacity) {
    host_.ShowMessage("\nERROR:\n\nThis flasher is damaged: its firmware image claims " +
                          std::to_string(claimed) + " bytes, but a flasher holds 1 to " +
                          std::to_string(kImageCapacity) +
                          " bytes.\nNo drive was touched. Please build the flasher again.\n",
                      BoxKind::Error, BoxButtons::Ok);
    host_.PostQuit();
    host_.CloseWindow();
    return;
  }
  // A flasher damaged after it was built (a bad copy, a failing disk) would
  // send its damage, or accept drives it was never meant for, and the
  // read-back would only prove the transfer.
  if (!record_.RecordIntact()) {
    host_.ShowMessage(
        "\nERROR:\n\nThis flasher is damaged: the checksum over its firmware image and model "
        "record does not match.\nNo drive was touched. Please get the flasher file again.\n",
        BoxKind::Error, BoxButtons::Ok);
    host_.PostQuit();
    host_.CloseWindow();
    return;
  }

  VendorText = fixed_text::UpperAscii(record_.Field(RecordField::Vendor));
  ModelText = record_.Field(RecordField::Model);
  RangeText = fixed_text::RightAligned(record_.Field(RecordField::FwRange10), 9, 9);
  for (std::size_t i = 0; i < 3; ++i) {
    RangeLow[i] = fixed_text::RightAligned(record_.Field(kRangeFields[i]), 4, 4);
    RangeHigh[i] = fixed_text::RightAligned(record_.FieldFrom(kRangeFields[i], kHighBoundAt), 4, 4);
    InquiryText[i] = fixed_text::LeftAligned(record_.Field(kInquiryFields[i]), 24, 24);
  }
  SelectDriveLabel.SetCaption("Select the " + VendorText + " drive you want to update:");

  std::string warning =
      "\nWARNING:\n\nThis flash utility only supports " + VendorText + " " + ModelText;
  if (UnrestrictedRange()) {
    warning +=
        " drive. \nPlease REMOVE disc and close all applications before run this utility!"
        "\nDon't turn off the system while flash is in progress! \n\nDo you wish to continue?\n";
  } else {
    warning += " drive with firmware:" + RangeText +
               "\nPlease REMOVE disc and close all applications before run this utility! "
               "\nDon't turn off the system while the flash is in progress!"
               "\n\nDo you wish to continue?\n";
  }
  if (host_.ShowMessage(warning, BoxKind::Warning, BoxButtons::YesNo) != BoxAnswer::Yes) {
    host_.PostQuit();
    host_.CloseWindow();
    return;
  }
  FileListBox1.SetVisible(false);
  Caption.SetCaption(VendorText + kUtilityCaption + ModelText);
  FindEligibleDrives();
}

bool TFlashForm::UnrestrictedRange() const {
  // The field's own bytes 0 and 5, where the two bounds are read from, even
  // when a NUL ends the text before byte 5.
  const char* range = record_.RawField(RecordField::FwRange10);
  return range[0] == '-' && range[kHighBoundAt] == '-';
}

bool TFlashForm::CheckNewFormatBIN() {
  imageLength_ = record_.BinSize();
  format_ = DetectImageFormat(
      std::span<const unsigned char, kImageCapacity>(record_.Image(), kImageCapacity));
  return format_ != ImageFormat::Plain;
}

void TFlashForm::FlashButtonClick() {
  if (builderMode_) {
    host_.SetCursor(CursorShape::Busy);
    RunGuard guard;  // a build cannot be interrupted once started
    NewBuildFlashProgram();
    host_.SetCursor(CursorShape::Default);
    if (!guard.End()) QuitAfterHeldRequest();
    return;
  }
  RunFlashSequence();
}

void TFlashForm::FormDestroy() {
  models_ = ModelLists{};
  Drives.reset();
  // The transport must not keep pointing into a buffer that is about to go.
  if (transferBuffer_) CDDrive::SetBuffer(nullptr, 0);
  transferBuffer_ = nullptr;
  TransferBuffer = {};
  WorkBuffer = {};
  ProfileCopy = {};
}
