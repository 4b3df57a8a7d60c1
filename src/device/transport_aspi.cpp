// The ASPI path of the Windows 9x family: WNASPI32.DLL, loaded at run time,
// one SRB_ExecSCSICmd per command, awaited on its event.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/system_library_win32.h"
#include "device/aspi_request.h"
#include "device/aspi_srb.h"
#include "device/cddrive.h"
#include "device/os_paths.h"
#include "device/page_aligned.h"
#include "device/win32_error_text.h"

namespace {

constexpr char kLibraryName[] = "WNASPI32.DLL";
constexpr char kLoadFailureMessage[] =
    "Unable to load WNASPI32.DLL !\nYou can down the DLL from "
    "http://www.adaptec.com/en-us/speed/software_tools/aspi/"
    "\n and copy the DLL to system directory.\n\n";
// LoadLibrary of 16-bit Windows heritage: handles below 32 are error numbers.
constexpr UINT_PTR kFirstValidModule = 32;
constexpr DWORD kMillisecondsPerSecond = 1000;
// How long an aborted request may take to come back before it is given up.
constexpr DWORD kAbortGraceMilliseconds = 2000;

// The adapter scan: host adapters 0 to 19, targets 0 and 1, LUN 0.
constexpr std::uint8_t kScanAdapters = 20;
constexpr std::uint8_t kScanTargets = 2;

using SupportInfoEntry = DWORD(__cdecl*)();
using SendCommandEntry = DWORD(__cdecl*)(void*);
using SetDllDirectoryEntry = BOOL(WINAPI*)(LPCSTR);

// One request with everything the layer may still touch after the caller has
// stopped waiting: the request block, its own copy of the data and its event.
struct AspiRequest {
  aspi::ExecScsiCommand block{};
  std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>> data;
  HANDLE event = nullptr;
};

std::uint8_t ReadStatus(const aspi::ExecScsiCommand& block) {
  // Written by the layer's own thread.
  return *static_cast<const volatile std::uint8_t*>(&block.SRB_Status);
}

// Keeps the working directory out of the DLL search, where the system has
// SetDllDirectoryA (the 9x family has not).
void DropWorkingDirectoryFromDllSearch() {
  const auto setDllDirectory =
      win32::SystemFunction<SetDllDirectoryEntry>("kernel32.dll", "SetDllDirectoryA");
  if (setDllDirectory != nullptr) {
    setDllDirectory("");
  }
}

class AspiTransportPath;

class AspiDeviceHandle : public DeviceHandle {
 public:
  AspiDeviceHandle(AspiTransportPath& path, const DriveAddress& address)
      : path_(path), address_(address) {}

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override;

 private:
  AspiTransportPath& path_;
  DriveAddress address_;
  std::unique_ptr<AspiRequest> request_;  // reused until a request is left outstanding
};

class AspiTransportPath : public TransportPath {
 public:
  PathSetup Setup() override {
    DropWorkingDirectoryFromDllSearch();
    // The one DLL found by the system's usual search: the 9x family's ASPI
    // layer is installed by its vendor, in the system directory or beside
    // the program, and users were told to put it there. The NT family never
    // comes here (ChooseTransportPath).
    HMODULE loaded = LoadLibraryA(kLibraryName);
    if (reinterpret_cast<UINT_PTR>(loaded) < kFirstValidModule) {
      return {.ready = false,
              .failureStatus = kStatusAspiNotLoaded,
              .errorMessage = kLoadFailureMessage};
    }
    if (library_ == loaded) {
      FreeLibrary(loaded);  // already held: keep one reference
    } else {
      library_ = loaded;
    }
    const auto supportInfo =
        win32::LibraryFunction<SupportInfoEntry>(library_, "GetASPI32SupportInfo");
    if (supportInfo == nullptr) {
      Unload();
      return {.ready = false, .failureStatus = kStatusAspiEntryMissing};
    }
    const DWORD support = supportInfo();
    if (((support >> aspi::kSupportStatusShift) & aspi::kSupportByteMask) !=
        aspi::kStatusComplete) {
      Unload();
      return {.ready = false, .failureStatus = kStatusAspiNotReady};
    }
    send_ = win32::LibraryFunction<SendCommandEntry>(library_, "SendASPI32Command");
    if (send_ == nullptr) {
      Unload();
      return {.ready = false, .failureStatus = kStatusAspiEntryMissing};
    }
    return {};
  }

  std::vector<DriveAddress> Candidates() override {
    std::vector<DriveAddress> addresses;
    for (std::uint8_t adapter = 0; adapter < kScanAdapters; ++adapter) {
      for (std::uint8_t target = 0; target < kScanTargets; ++target) {
        addresses.push_back({' ', adapter, target, 0});
      }
    }
    return addresses;
  }

  PathOpen Open(const DriveAddress& address) override {
    // Nothing to open: the layer addresses devices by adapter, target and LUN.
    return {.handle = std::make_unique<AspiDeviceHandle>(*this, address),
            .devicePath = std::to_string(address.hostAdapter) + "-" +
                          std::to_string(address.target) + "-" + std::to_string(address.lun)};
  }

  std::optional<std::string> SystemErrorText(std::uint32_t errorCode) override {
    return Win32SystemErrorText(errorCode);
  }

  // SS_COMP alone is not enough: RecordAspiResult also fails an over- or underrun.
  bool CommandCompleted(const CommandResult& result) const override {
    return result.status == aspi::kStatusComplete && result.callSucceeded;
  }

  DWORD Send(aspi::ExecScsiCommand& block) { return send_(&block); }

  // Takes a request that is still with the layer when its wait ended. It is
  // freed only once the layer has signalled it, so a late completion writes
  // into memory that is still this request's and signals an open event.
  void KeepOutstanding(std::unique_ptr<AspiRequest> request) {
    outstanding_.push_back(request.release());
  }

  void FreeCompleted() {
    std::erase_if(outstanding_, [](AspiRequest* request) {
      if (WaitForSingleObject(request->event, 0) != WAIT_OBJECT_0) {
        return false;
      }
      CloseHandle(request->event);
      delete request;
      return true;
    });
  }

 private:
  // Gives the library back when a set-up finds the layer unusable. A
  // successful set-up keeps it to the end of the run. A request the layer
  // still holds (from an earlier set-up's drives) would write into freed
  // memory or run into an unloaded library, so it is aborted first, and the
  // library stays loaded if one does not come back.
  void Unload() {
    AbortOutstanding();
    if (library_ != nullptr && outstanding_.empty()) {
      FreeLibrary(library_);
    }
    library_ = nullptr;
    send_ = nullptr;
  }

  void AbortOutstanding() {
    FreeCompleted();
    if (send_ == nullptr || outstanding_.empty()) {
      return;
    }
    for (AspiRequest* request : outstanding_) {
      aspi::Abort abort{};
      abort.SRB_Cmd = aspi::kAbortRequest;
      abort.SRB_HaId = request->block.SRB_HaId;
      abort.SRB_ToAbort = &request->block;
      send_(&abort);
    }
    for (AspiRequest* request : outstanding_) {
      WaitForSingleObject(request->event, kAbortGraceMilliseconds);
    }
    FreeCompleted();
  }

  HMODULE library_ = nullptr;
  SendCommandEntry send_ = nullptr;
  // Owned, and deleted only once the layer has signalled them: a request the
  // layer never gives back stays allocated until the process ends, even past
  // static destruction.
  std::vector<AspiRequest*> outstanding_;
};

void AspiDeviceHandle::Execute(const DriveCommand& command, std::uint8_t* data,
                               std::uint16_t timeOutSeconds, CommandResult& result) {
  path_.FreeCompleted();
  if (request_ == nullptr) {
    request_ = std::make_unique<AspiRequest>();
  }
  AspiRequest& request = *request_;
  request.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (request.event == nullptr) {
    result = CommandResult{};
    result.errorCode = GetLastError();
    return;
  }
  // The layer works on the request's own copy, so that a late completion
  // cannot write into a buffer that later commands use. The copy starts as
  // the caller's bytes, so bytes a short answer leaves alone stay the caller's.
  request.data.resize(command.length);
  const bool dataIn = command.direction == kDirectionIn;
  if (command.length > 0) {
    std::memcpy(request.data.data(), data, command.length);
  }
  PrepareAspiRequest(request.block, command, address_,
                     command.length > 0 ? request.data.data() : nullptr, request.event);

  const DWORD sent = path_.Send(request.block);
  // A layer that accepted the request signals its event, even if the status
  // already shows the end, so both cases are waited for.
  if (sent == aspi::kStatusPending || ReadStatus(request.block) == aspi::kStatusPending) {
    const DWORD wait =
        WaitForSingleObject(request.event, DWORD{timeOutSeconds} * kMillisecondsPerSecond);
    if (wait != WAIT_OBJECT_0) {
      path_.KeepOutstanding(std::move(request_));
      RecordAspiTimeOut(ERROR_TIMEOUT, result);
      return;
    }
    ResetEvent(request.event);
  }
  CloseHandle(request.event);
  request.event = nullptr;

  RecordAspiResult(request.block, result);
  if (dataIn && command.length > 0) {
    std::memcpy(data, request.data.data(), command.length);
  }
}

}  // namespace

TransportPath& AspiPath() {
  static AspiTransportPath path;
  return path;
}
