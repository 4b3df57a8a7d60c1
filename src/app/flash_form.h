// TFlashForm: the main window's logic in both modes. It knows no toolkit:
// its controls are plain objects and everything else goes through FormHost.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/form_actions.h"
#include "app/form_host.h"
#include "app/power_guard.h"
#include "app/sleep_watch.h"
#include "catalogue/embedded_block.h"
#include "catalogue/image_format.h"
#include "catalogue/model_catalogue.h"
#include "device/page_aligned.h"
#include "flash_version.h"
#include "protocol/protocol_context.h"

class CDDrive;
class CDDrives;

inline constexpr char kUtilityCaption[] = " Flash Utility " FLASH_CAPTION_VERSION " ";
inline constexpr std::size_t kDriveIndexMapSize = 20;  // combo lines that can stand for drives
inline constexpr std::uint32_t kTransferBufferSize = 16384;

// Where the form finds the world outside: its own block and executable, the
// working directory, how a restart is asked for, and the machine's power.
struct FormEnvironment {
  const EmbeddedBlock* block = nullptr;
  std::string executablePath;
  std::string workingDirectory;
  // Forced restart after a completed flash; false when the system took no request.
  std::function<bool()> restartSystem;
  std::function<void(unsigned milliseconds)> sleep;  // the pause between readiness polls
  // Milliseconds of a clock that only moves forward (wrapping; differences
  // only), for waits bounded in time; none in tests that count passes.
  std::function<std::uint32_t()> clockMs;
  std::function<bool()> runsOnBattery;      // asked before a flash starts
  std::function<PowerGuard()> keepRunning;  // held from a flash's first command to its end
  // Watches from the first write to the drive's DRAM until the flash start.
  std::function<std::unique_ptr<SleepWatch>()> watchSleep;
};

class TFlashForm : public FormActions {
 public:
  TFlashForm(FormHost& host, ControlObserver* observer, FormEnvironment environment);
  ~TFlashForm() override;
  TFlashForm(const TFlashForm&) = delete;
  TFlashForm& operator=(const TFlashForm&) = delete;

  void FormCreate();
  void FormDestroy();
  void ComboBoxChange();
  void FileListBox1Click();
  void FlashButtonClick();

  // What the user does to the window, one method per action. Each changes
  // its control as the toolkit would and then raises the handler, so every
  // front-end shares one input path. False when the action does not apply
  // (the control is disabled or hidden, or no such item): nothing changed.
  bool SelectComboItem(int index) override;
  void TypeComboText(const std::string& text) override;
  bool ClickFileEntry(int index) override;  // -1 (or no such entry): a click that selects nothing
  bool PressFlashButton() override;
  void CloseByUser() override;

  bool RetriveINI();
  bool CheckNewFormatBIN();
  bool CheckCondition();
  bool NewBuildFlashProgram();

  // Controls.
  TCaptioned Caption{TCaptioned::Role::Window};
  TCaptioned SelectDriveLabel{TCaptioned::Role::Label};
  TComboBox ComboBox;
  TFileListBox FileListBox1;
  TCaptioned GroupBox2{TCaptioned::Role::Status};
  TProgressBar ProgressBar;
  TButton FlashButton;

  // State a front-end or a test may read.
  bool BuilderMode() const { return builderMode_; }
  ImageFormat Format() const { return format_; }
  std::uint32_t ImageLength() const { return imageLength_; }
  CDDrive* SelectedDrive() const { return selectedDrive_; }
  const ModelLists& Models() const { return models_; }
  const std::string& ChosenFile() const { return chosenFile_; }

 private:
  void StartBuilderMode();
  void StartFlasherMode();
  void FindEligibleDrives();  // the second half of the flasher-mode start
  bool UnrestrictedRange() const;
  void RunFlashSequence();
  bool AcceptPowerSource();  // false: the user stops a flash on battery power
  void OfferRestart();
  void WaitUntilReady();
  // False, with a box and nothing sent, when the drive cannot be flashed
  // from here (privileges, a connection too narrow for a piece).
  bool DriveCanTakeFlash();
  // After the flash start: holds on until the drive answers again, bounded.
  void AwaitDriveAfterFlash();
  bool DownloadVerifyAndFlash(int comboIndex);
  void QuitAfterHeldRequest();  // a request to end came while a run was held
  void RefreshDriveLine(int comboIndex);
  void SetStatus(const std::string& text);
  void AppendStatus(const std::string& text);

  FormHost& host_;
  FormEnvironment env_;
  ModelRecordView record_;

  ModelLists models_;
  std::string VendorText;
  std::string ModelText;
  std::string RangeText;
  std::array<std::string, 3> RangeLow;
  std::array<std::string, 3> RangeHigh;
  std::array<std::string, 3> InquiryText;
  std::string chosenFile_;
  bool builderMode_ = false;
  ImageFormat format_ = ImageFormat::Plain;
  std::uint32_t imageLength_ = 0;
  std::array<std::int32_t, kDriveIndexMapSize> DriveIndexMap{};
  std::unique_ptr<CDDrives> Drives;
  CDDrive* selectedDrive_ = nullptr;
  // Registered with the transport, so handed to the drive as it stands.
  std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>> TransferBuffer;
  std::uint8_t* transferBuffer_ = nullptr;  // what the transport reports back as registered

  // Flash sequence.
  protocol::ProtocolContext protocol_;
  protocol::ProfileState profile_;
  bool FlashAll = false;
  std::vector<std::uint8_t> WorkBuffer;   // kept between runs
  std::vector<std::uint8_t> ProfileCopy;  // kept between runs, grown when a profile needs more
};
