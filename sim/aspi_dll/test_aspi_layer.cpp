// A test ASPI for Win32 layer: WNASPI32.DLL answering from simulated drives.
// The drives come from the population file named by FLASH_SIM_POPULATION; a
// drive at H:C:T:L answers at host adapter H, target T, LUN L. When
// FLASH_SIM_TRANSCRIPT names a file, every command is appended to it as it
// ends: "H:T:L" and the drive's transcript line with its result.
//
// Like a real layer it takes a request, returns SS_PENDING and completes it
// from its own thread: data, SRB_HaStat/SRB_TargStat, SenseArea, then
// SRB_Status, then the request's event. A transfer shorter than asked
// reports a data over- or underrun in SRB_HaStat, unless
// FLASH_SIM_ASPI_SILENT_UNDERRUN is 1; either way the bytes the drive did not
// send stay as the host's buffer held them. A "never-completes" fault leaves the
// request pending until it is aborted (SC_ABORT_SRB); a "completes-late"
// fault completes it that many milliseconds later, data included, while later
// requests go on being served (see Work for the exact moment).
//
// Win32 threads only, so that the 32-bit build also loads on the 9x family.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "device/aspi_srb.h"
#include "sim/fixed_sense.h"
#include "sim/population.h"
#include "sim/sim_drive.h"

namespace {

constexpr char kPopulationVariable[] = "FLASH_SIM_POPULATION";
constexpr char kTranscriptVariable[] = "FLASH_SIM_TRANSCRIPT";
// Set to 1: a short transfer completes without the adapter's over- or
// underrun status, as layers that count nothing leave it.
constexpr char kSilentUnderrunVariable[] = "FLASH_SIM_ASPI_SILENT_UNDERRUN";
constexpr std::size_t kPathCapacity = MAX_PATH + 1;
constexpr std::uint8_t kAdapterScsiId = 7;
constexpr char kManagerId[] = "ASPI for WIN32";
constexpr char kAdapterId[] = "SIMULATED ATAPI";
constexpr std::size_t kUniqueMaxTargetsByte = 3;
constexpr std::size_t kUniqueMaxTransferByte = 4;  // 32-bit little-endian
constexpr std::uint32_t kMaxTransfer = 0x10000;
constexpr LONG kLateGraceMilliseconds = 1000;

struct Job {
  aspi::ExecScsiCommand* block = nullptr;
  sim::SimDrive* drive = nullptr;
  HANDLE event = nullptr;          // SRB_PostProc as the request came
  std::vector<std::uint8_t> data;  // the drive's side of the transfer
  sim::SimOutcome outcome{};
  bool executed = false;
  bool held = false;  // never completes on its own
  DWORD dueTick = 0;  // late completion time (GetTickCount)
  std::string line;   // the transcript line, written when the command ends
};

class Layer {
 public:
  Layer() { InitializeCriticalSection(&lock_); }
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  void SetModule(HMODULE module) { module_ = module; }

  DWORD SupportInfo() {
    Start();
    if (!ready_) {
      return DWORD{aspi::kStatusFailedInit} << aspi::kSupportStatusShift;
    }
    return (DWORD{aspi::kStatusComplete} << aspi::kSupportStatusShift) | adapters_;
  }

  DWORD Send(void* request) {
    Start();
    auto* header = static_cast<aspi::RequestHeader*>(request);
    switch (header->SRB_Cmd) {
      case aspi::kHostAdapterInquiry:
        return Finish(header, AdapterInquiry(*static_cast<aspi::HostAdapterInquiry*>(request)));
      case aspi::kExecScsiCommand:
        return Submit(*static_cast<aspi::ExecScsiCommand*>(request));
      case aspi::kAbortRequest:
        return Finish(header, AbortRequest(*static_cast<aspi::Abort*>(request)));
      default:
        return Finish(header, aspi::kStatusInvalidCommand);
    }
  }

 private:
  static DWORD Finish(aspi::RequestHeader* header, std::uint8_t status) {
    header->SRB_Status = status;
    return status;
  }

  void Start() {
    EnterCriticalSection(&lock_);
    if (!started_) {
      started_ = true;
      LoadDrives();
      if (ready_) {
        StartWorker();
      }
    }
    LeaveCriticalSection(&lock_);
  }

  void LoadDrives() {
    char path[kPathCapacity] = {};
    const DWORD length = GetEnvironmentVariableA(kPopulationVariable, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
      std::fprintf(stderr, "test WNASPI32.DLL: set %s to a population file\n", kPopulationVariable);
      return;
    }
    char transcript[kPathCapacity] = {};
    const DWORD transcriptLength =
        GetEnvironmentVariableA(kTranscriptVariable, transcript, sizeof transcript);
    if (transcriptLength > 0 && transcriptLength < sizeof transcript) {
      transcriptPath_ = transcript;
    }
    char silent[2] = {};
    reportsUnderrun_ =
        !(GetEnvironmentVariableA(kSilentUnderrunVariable, silent, sizeof silent) == 1 &&
          silent[0] == '1');
    std::string error;
    if (!sim::LoadPopulation(path, machine_, error)) {
      std::fprintf(stderr, "test WNASPI32.DLL: %s\n", error.c_str());
      return;
    }
    std::uint32_t adapters = 1;
    for (std::size_t i = 0; i < machine_.DriveCount(); ++i) {
      adapters = std::max<std::uint32_t>(adapters, machine_.Drive(i).Config().host + 1u);
    }
    adapters_ = static_cast<std::uint8_t>(std::min<std::uint32_t>(adapters, 0xFF));
    ready_ = true;
  }

  void StartWorker() {
    // The worker keeps its own reference to this library, so that a host's
    // FreeLibrary never unmaps the code it runs.
    char self[kPathCapacity] = {};
    if (GetModuleFileNameA(module_, self, sizeof self) != 0) {
      LoadLibraryA(self);
    }
    wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &Layer::WorkerEntry, this, 0, &id);
    if (thread == nullptr || wake_ == nullptr) {
      std::fprintf(stderr, "test WNASPI32.DLL: cannot start its worker thread\n");
      ready_ = false;
      return;
    }
    CloseHandle(thread);
  }

  sim::SimDrive* DriveAt(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) {
    for (std::size_t i = 0; i < machine_.DriveCount(); ++i) {
      const sim::DriveConfig& c = machine_.Drive(i).Config();
      if (c.host == adapter && c.target == target && c.lun == lun) {
        return &machine_.Drive(i);
      }
    }
    return nullptr;
  }

  std::uint8_t AdapterInquiry(aspi::HostAdapterInquiry& inquiry) {
    if (!ready_) {
      return aspi::kStatusFailedInit;
    }
    if (inquiry.SRB_HaId >= adapters_) {
      return aspi::kStatusInvalidAdapter;
    }
    inquiry.HA_Count = adapters_;
    inquiry.HA_SCSI_ID = kAdapterScsiId;
    std::memset(inquiry.HA_ManagerId, ' ', sizeof inquiry.HA_ManagerId);
    std::memcpy(inquiry.HA_ManagerId, kManagerId, sizeof kManagerId - 1);
    std::memset(inquiry.HA_Identifier, ' ', sizeof inquiry.HA_Identifier);
    std::memcpy(inquiry.HA_Identifier, kAdapterId, sizeof kAdapterId - 1);
    std::memset(inquiry.HA_Unique, 0, sizeof inquiry.HA_Unique);
    inquiry.HA_Unique[kUniqueMaxTargetsByte] = 2;
    for (std::size_t i = 0; i < 4; ++i) {
      inquiry.HA_Unique[kUniqueMaxTransferByte + i] =
          static_cast<std::uint8_t>(kMaxTransfer >> (8 * i));
    }
    return aspi::kStatusComplete;
  }

  DWORD Submit(aspi::ExecScsiCommand& block) {
    if (!ready_) {
      return Finish(reinterpret_cast<aspi::RequestHeader*>(&block), aspi::kStatusFailedInit);
    }
    if (block.SRB_HaId >= adapters_) {
      return Finish(reinterpret_cast<aspi::RequestHeader*>(&block), aspi::kStatusInvalidAdapter);
    }
    sim::SimDrive* drive = DriveAt(block.SRB_HaId, block.SRB_Target, block.SRB_Lun);
    if (drive == nullptr) {
      return Finish(reinterpret_cast<aspi::RequestHeader*>(&block), aspi::kStatusNoDevice);
    }
    block.SRB_Status = aspi::kStatusPending;
    Job job;
    job.block = &block;
    job.drive = drive;
    job.event = (block.SRB_Flags & aspi::kFlagEventNotify) != 0
                    ? static_cast<HANDLE>(block.SRB_PostProc)
                    : nullptr;
    EnterCriticalSection(&lock_);
    CheckNotHeld(job);
    queue_.push_back(std::move(job));
    LeaveCriticalSection(&lock_);
    SetEvent(wake_);
    return aspi::kStatusPending;
  }

  // A host must leave a request's block and event alone until the layer has
  // given the request back; one that reuses them would see a late completion
  // land in its next command. Such faults go to the transcript.
  void CheckNotHeld(const Job& fresh) {
    for (const Job& held : waiting_) {
      if (held.block == fresh.block) {
        HostFault("a request block was sent again while the layer still holds it");
      }
      if (fresh.event != nullptr && held.event == fresh.event) {
        HostFault("an event was given again while a held request still signals it");
      }
    }
  }

  std::uint8_t AbortRequest(const aspi::Abort& abort) {
    EnterCriticalSection(&lock_);
    auto matches = [&](const Job& job) { return job.block == abort.SRB_ToAbort; };
    bool found = false;
    Job job;
    if (auto it = std::find_if(queue_.begin(), queue_.end(), matches); it != queue_.end()) {
      job = std::move(*it);
      queue_.erase(it);
      found = true;
    } else if (auto held = std::find_if(waiting_.begin(), waiting_.end(), matches);
               held != waiting_.end()) {
      job = std::move(*held);
      waiting_.erase(held);
      found = true;
    }
    LeaveCriticalSection(&lock_);
    if (!found) {
      return aspi::kStatusAbortFailed;
    }
    Log(job.line + " (aborted)");
    Signal(job, aspi::kStatusAborted);
    return aspi::kStatusComplete;
  }

  static DWORD WINAPI WorkerEntry(LPVOID self) {
    static_cast<Layer*>(self)->Work();
    return 0;
  }

  // A late completion is delivered when the next request reaches the layer
  // after its time, just before that request is served, so that it lands
  // while the host waits for another request; with no request coming it
  // arrives kLateGraceMilliseconds after its time.
  void Work() {
    for (;;) {
      DWORD waitFor = INFINITE;
      Job job;
      bool have = false;
      EnterCriticalSection(&lock_);
      const DWORD now = GetTickCount();
      for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (it->held) {
          continue;
        }
        const auto left = static_cast<LONG>(it->dueTick - now);
        if (left <= 0 && (!queue_.empty() || left <= -kLateGraceMilliseconds)) {
          job = std::move(*it);
          waiting_.erase(it);
          have = true;
          break;
        }
        waitFor = std::min(waitFor, static_cast<DWORD>(left + kLateGraceMilliseconds));
      }
      if (!have && !queue_.empty()) {
        job = std::move(queue_.front());
        queue_.pop_front();
        have = true;
      }
      LeaveCriticalSection(&lock_);
      if (!have) {
        WaitForSingleObject(wake_, waitFor);
        continue;
      }
      if (job.executed) {
        Complete(job);
      } else {
        Execute(job);
      }
    }
  }

  void Execute(Job& job) {
    aspi::ExecScsiCommand& block = *job.block;
    sim::Cdb cdb{};
    std::copy_n(block.CDBByte, cdb.size(), cdb.begin());
    const bool dataIn = (block.SRB_Flags & aspi::kFlagDataIn) != 0;
    // The drive works on a copy; the host's buffer sees data-in bytes only
    // when the request completes, as with a bus-mastering adapter.
    job.data.assign(block.SRB_BufLen, 0);
    if (block.SRB_BufLen > 0 && block.SRB_BufPointer != nullptr) {
      std::memcpy(job.data.data(), block.SRB_BufPointer, block.SRB_BufLen);
    }
    job.outcome =
        job.drive->Execute(cdb, dataIn ? sim::kDirectionIn : 0,
                           job.data.empty() ? nullptr : job.data.data(), block.SRB_BufLen, 0);
    job.executed = true;
    const sim::DriveConfig& c = job.drive->Config();
    job.line = std::to_string(c.host) + ":" + std::to_string(c.target) + ":" +
               std::to_string(c.lun) + " " + job.drive->Transcript().back().TextWithResult();
    if (job.outcome.completion == sim::Completion::TimedOut) {
      job.held = true;
      Park(std::move(job));
      return;
    }
    if (job.outcome.lateMilliseconds > 0) {
      job.line += " (" + std::to_string(job.outcome.lateMilliseconds) + " ms late)";
      job.dueTick = GetTickCount() + job.outcome.lateMilliseconds;
      Park(std::move(job));
      return;
    }
    Complete(job);
  }

  void Log(const std::string& line) {
    if (transcriptPath_.empty()) {
      return;
    }
    EnterCriticalSection(&lock_);
    if (std::FILE* file = std::fopen(transcriptPath_.c_str(), "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
    LeaveCriticalSection(&lock_);
  }

  void HostFault(const std::string& what) {
    std::fprintf(stderr, "test WNASPI32.DLL: host fault: %s\n", what.c_str());
    Log("host fault: " + what);
  }

  void Park(Job job) {
    EnterCriticalSection(&lock_);
    waiting_.push_back(std::move(job));
    LeaveCriticalSection(&lock_);
  }

  void Complete(Job& job) {
    aspi::ExecScsiCommand& block = *job.block;
    const bool dataIn = (block.SRB_Flags & aspi::kFlagDataIn) != 0;
    if (dataIn && !job.data.empty() && block.SRB_BufPointer != nullptr) {
      std::memcpy(block.SRB_BufPointer, job.data.data(), job.data.size());
    }
    std::uint8_t status = aspi::kStatusComplete;
    switch (job.outcome.completion) {
      case sim::Completion::Done:
        if (!(job.outcome.sense == sim::kSenseNone)) {
          status = aspi::kStatusError;
          block.SRB_TargStat = aspi::kTargetCheckCondition;
          FillSense(block, job.outcome.sense);
        } else if (job.outcome.moved < block.SRB_BufLen && reportsUnderrun_) {
          // Layers that report it still say SS_COMP; only the adapter
          // status tells of the short transfer.
          block.SRB_HaStat = aspi::kHostDataOverUnderrun;
        }
        break;
      case sim::Completion::CallFailed:
      case sim::Completion::NotAnswering:
      case sim::Completion::TimedOut:
        status = aspi::kStatusError;
        block.SRB_HaStat = aspi::kHostSelectionTimeOut;
        break;
    }
    Log(job.line);
    Signal(job, status);
  }

  static void FillSense(aspi::ExecScsiCommand& block, const sim::SenseTriple& sense) {
    const auto fixed = sim::FixedSense(sense);
    const std::size_t length =
        std::min<std::size_t>({block.SRB_SenseLen, fixed.size(), sizeof block.SenseArea});
    std::memcpy(block.SenseArea, fixed.data(), length);
  }

  // The status goes last, then the event: a host that sees the status or
  // wakes on the event finds everything else in place.
  void Signal(Job& job, std::uint8_t status) {
    MemoryBarrier();
    *static_cast<volatile std::uint8_t*>(&job.block->SRB_Status) = status;
    MemoryBarrier();
    if (job.event != nullptr && !SetEvent(job.event)) {
      HostFault("the event of a request was closed before the request came back");
    }
  }

  CRITICAL_SECTION lock_{};
  HMODULE module_ = nullptr;
  bool started_ = false;
  bool ready_ = false;
  bool reportsUnderrun_ = true;
  std::uint8_t adapters_ = 0;
  sim::SimMachine machine_;
  std::string transcriptPath_;
  HANDLE wake_ = nullptr;
  std::deque<Job> queue_;
  std::vector<Job> waiting_;
};

// Never destroyed: the worker thread may run until the process ends.
Layer& TheLayer() {
  static Layer* layer = new Layer;
  return *layer;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    TheLayer().SetModule(instance);
  }
  return TRUE;
}

__declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return TheLayer().SupportInfo(); }

__declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
  return TheLayer().Send(request);
}

}  // extern "C"
