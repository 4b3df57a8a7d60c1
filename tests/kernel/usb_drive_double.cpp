// A USB optical drive that the real kernel attaches through usb-storage and
// sr, for the real-kernel test (run_usb_vm.sh). It sets up a gadget with
// configfs and one FunctionFS function on the first USB device controller
// (dummy_hcd in the VM) and serves the Bulk-Only Transport: Get Max LUN and the
// class reset on endpoint 0, then command block wrapper, data and status
// wrapper on the bulk endpoints. Behind it sits the simulated drive of the
// sample model, answering the vendor buffer commands; what a host sends on
// attach and while polling (REQUEST SENSE with the last sense, MODE SENSE,
// GET CONFIGURATION, GET EVENT STATUS NOTIFICATION, READ CAPACITY, READ TOC)
// is answered here, as a drive without a disc does.
//
// Every command received is logged with its time, one line each:
//   <ms> cmd <12 CDB bytes> in|out <length> -> <key asc ascq>
// and what happened to the device:
//   <ms> event <text>
//
// Usage: usb_drive_double --log FILE --name NAME [--flash-start-delay-ms N]
//                         [--unplug-at-piece K] [--becoming-ready-after-flash N]
// Runs until SIGTERM or SIGINT, then unbinds the gadget from its controller.
// --unplug-at-piece K unbinds it (the drive is unplugged) once the data of the
// K-th image piece (WRITE BUFFER with data) has arrived, before its status.
#include <dirent.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/scsi_opcodes.h"
#include "sim/sim_drive.h"
#include "support/sample_drive.h"

namespace {

constexpr char kGadgetRoot[] = "/sys/kernel/config/usb_gadget";
constexpr char kUdcClass[] = "/sys/class/udc";
constexpr char kFfsMountRoot[] = "/dev/ffs";
// The Linux Foundation's multifunction composite gadget: an identity that no
// usb-storage quirk entry names, so the kernel treats the drive as plain.
constexpr char kVendorId[] = "0x1d6b";
constexpr char kProductId[] = "0x0104";
constexpr char kRevisionBefore[] = "AB10";

constexpr std::uint8_t kClassMassStorage = 0x08;
constexpr std::uint8_t kSubclassScsi = 0x06;
constexpr std::uint8_t kProtocolBulkOnly = 0x50;
constexpr std::uint8_t kRequestGetMaxLun = 0xFE;
constexpr std::uint8_t kRequestReset = 0xFF;
constexpr std::uint16_t kFullSpeedPacket = 64;
constexpr std::uint16_t kHighSpeedPacket = 512;

constexpr std::uint32_t kCbwSignature = 0x43425355;
constexpr std::uint32_t kCswSignature = 0x53425355;
constexpr std::size_t kCbwLength = 31;
constexpr std::size_t kCswLength = 13;
constexpr std::uint8_t kCbwDataIn = 0x80;
constexpr std::uint8_t kCswPassed = 0;
constexpr std::uint8_t kCswFailed = 1;
constexpr std::uint8_t kCswPhaseError = 2;
// Far above what usb-storage sends in one command (240 sectors); a larger
// request is a phase error, never a larger buffer.
constexpr std::uint32_t kMaxTransfer = 1024 * 1024;

// Commands answered here rather than by the simulated drive.
constexpr std::uint8_t kOpRequestSense = 0x03;
constexpr std::uint8_t kOpModeSense6 = 0x1A;
constexpr std::uint8_t kOpPreventAllow = 0x1E;
constexpr std::uint8_t kOpReadCapacity = 0x25;
constexpr std::uint8_t kOpRead10 = 0x28;
constexpr std::uint8_t kOpReadToc = 0x43;
constexpr std::uint8_t kOpGetConfiguration = 0x46;
constexpr std::uint8_t kOpGetEventStatus = 0x4A;
constexpr std::uint8_t kOpReadDiscInformation = 0x51;
constexpr std::uint8_t kOpReadTrackInformation = 0x52;
constexpr std::uint8_t kOpModeSense10 = 0x5A;
constexpr std::uint8_t kOpRead12 = 0xA8;
constexpr std::uint8_t kPageCapabilities = 0x2A;
constexpr std::uint8_t kControlData = 0x00;
constexpr std::size_t kControlByte = 9;

std::FILE* logFile = nullptr;
std::mutex logLock;
const auto started = std::chrono::steady_clock::now();

long long Millis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               started)
      .count();
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  const std::lock_guard<std::mutex> hold(logLock);
  std::fprintf(logFile, "%lld ", Millis());
  va_list args;
  va_start(args, format);
  std::vfprintf(logFile, format, args);
  va_end(args);
  std::fputc('\n', logFile);
  std::fflush(logFile);
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "usb_drive_double: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

void WriteFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) Die("open " + path);
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    Die("write " + path);
  }
  ::close(fd);
}

void MakeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Die("mkdir " + path);
}

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The descriptors FunctionFS takes: one interface with a bulk-in and a
// bulk-out endpoint (files ep1 and ep2, in this order), at full and high speed.
struct __attribute__((packed)) EndpointPair {
  usb_interface_descriptor interface;
  usb_endpoint_descriptor_no_audio in;
  usb_endpoint_descriptor_no_audio out;
};
struct __attribute__((packed)) Descriptors {
  usb_functionfs_descs_head_v2 head;
  std::uint32_t fsCount;
  std::uint32_t hsCount;
  EndpointPair fs;
  EndpointPair hs;
};
constexpr char kInterfaceName[] = "Optical drive double";
struct __attribute__((packed)) Strings {
  usb_functionfs_strings_head head;
  std::uint16_t language;
  char name[sizeof kInterfaceName];
};

EndpointPair Endpoints(std::uint16_t packet) {
  EndpointPair pair{};
  pair.interface = {.bLength = sizeof(usb_interface_descriptor),
                    .bDescriptorType = USB_DT_INTERFACE,
                    .bInterfaceNumber = 0,
                    .bAlternateSetting = 0,
                    .bNumEndpoints = 2,
                    .bInterfaceClass = kClassMassStorage,
                    .bInterfaceSubClass = kSubclassScsi,
                    .bInterfaceProtocol = kProtocolBulkOnly,
                    .iInterface = 1};
  pair.in = {.bLength = sizeof(usb_endpoint_descriptor_no_audio),
             .bDescriptorType = USB_DT_ENDPOINT,
             .bEndpointAddress = 1 | USB_DIR_IN,
             .bmAttributes = USB_ENDPOINT_XFER_BULK,
             .wMaxPacketSize = packet,
             .bInterval = 0};
  pair.out = pair.in;
  pair.out.bEndpointAddress = 2 | USB_DIR_OUT;
  return pair;
}

struct Options {
  std::string logPath;
  std::string name;
  std::uint32_t flashStartDelayMs = 0;
  std::uint32_t unplugAtPiece = 0;
  std::uint32_t becomingReadyAfterFlash = 0;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    const auto number = [value] {
      return static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
    };
    if (key == "--log") {
      options.logPath = value;
    } else if (key == "--name") {
      options.name = value;
    } else if (key == "--flash-start-delay-ms") {
      options.flashStartDelayMs = number();
    } else if (key == "--unplug-at-piece") {
      options.unplugAtPiece = number();
    } else if (key == "--becoming-ready-after-flash") {
      options.becomingReadyAfterFlash = number();
    } else {
      std::fprintf(stderr, "usb_drive_double: unknown option %s\n", key.c_str());
      std::exit(2);
    }
  }
  if (options.logPath.empty() || options.name.empty()) {
    std::fprintf(stderr, "usage: usb_drive_double --log FILE --name NAME [options]\n");
    std::exit(2);
  }
  return options;
}

// Whatever ends the device's session (a class reset, a bus reset, an unbind)
// moves this on; a command still being answered then sends no status.
std::atomic<unsigned> session{0};
std::atomic<bool> unplugged{false};

class Gadget {
 public:
  explicit Gadget(const std::string& name)
      : dir_(std::string(kGadgetRoot) + "/" + name),
        mount_(std::string(kFfsMountRoot) + "/" + name) {}

  void Create() {
    MakeDir(dir_);
    WriteFile(dir_ + "/idVendor", kVendorId);
    WriteFile(dir_ + "/idProduct", kProductId);
    WriteFile(dir_ + "/bcdUSB", "0x0200");
    MakeDir(dir_ + "/strings/0x409");
    WriteFile(dir_ + "/strings/0x409/manufacturer", "flash test");
    WriteFile(dir_ + "/strings/0x409/product", kInterfaceName);
    WriteFile(dir_ + "/strings/0x409/serialnumber", "0001");
    MakeDir(dir_ + "/configs/c.1");
    const std::string function = dir_ + "/functions/ffs." + Instance();
    MakeDir(function);
    if (::symlink(function.c_str(), (dir_ + "/configs/c.1/ffs." + Instance()).c_str()) != 0 &&
        errno != EEXIST) {
      Die("link the function into the configuration");
    }
    MakeDir(kFfsMountRoot);
    MakeDir(mount_);
    if (::mount(Instance().c_str(), mount_.c_str(), "functionfs", 0, nullptr) != 0) {
      Die("mount functionfs on " + mount_);
    }
  }

  // Descriptors first: only then do the endpoint files exist.
  void Describe() {
    ep0_ = ::open((mount_ + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0) Die("open ep0");
    Descriptors d{};
    d.head.magic = FUNCTIONFS_DESCRIPTORS_MAGIC_V2;
    d.head.length = sizeof d;
    d.head.flags = FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC;
    d.fsCount = 3;
    d.hsCount = 3;
    d.fs = Endpoints(kFullSpeedPacket);
    d.hs = Endpoints(kHighSpeedPacket);
    if (::write(ep0_, &d, sizeof d) != static_cast<ssize_t>(sizeof d)) Die("write descriptors");
    Strings s{};
    s.head.magic = FUNCTIONFS_STRINGS_MAGIC;
    s.head.length = sizeof s;
    s.head.str_count = 1;
    s.head.lang_count = 1;
    s.language = 0x0409;
    std::memcpy(s.name, kInterfaceName, sizeof kInterfaceName);
    if (::write(ep0_, &s, sizeof s) != static_cast<ssize_t>(sizeof s)) Die("write strings");
    in_ = ::open((mount_ + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    out_ = ::open((mount_ + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
    if (in_ < 0 || out_ < 0) Die("open the bulk endpoints");
  }

  void Plug() {
    udc_ = FirstController();
    WriteFile(dir_ + "/UDC", udc_);
    Log("event plugged into %s", udc_.c_str());
  }

  void Unplug() {
    if (unplugged.exchange(true)) return;
    ++session;
    // An empty name unbinds the gadget: the host sees the device go away.
    WriteFile(dir_ + "/UDC", "\n");
    Log("event unplugged");
  }

  int Ep0() const { return ep0_; }
  int In() const { return in_; }
  int Out() const { return out_; }

 private:
  std::string Instance() const { return dir_.substr(dir_.rfind('/') + 1); }

  static std::string FirstController() {
    for (int tries = 0; tries < 50; ++tries) {
      if (auto* dir = ::opendir(kUdcClass)) {
        while (const dirent* entry = ::readdir(dir)) {
          if (entry->d_name[0] == '.') continue;
          std::string name = entry->d_name;
          ::closedir(dir);
          return name;
        }
        ::closedir(dir);
      }
      ::usleep(100 * 1000);
    }
    errno = ENODEV;
    Die(std::string("no USB device controller in ") + kUdcClass);
  }

  std::string dir_;
  std::string mount_;
  std::string udc_;
  int ep0_ = -1;
  int in_ = -1;
  int out_ = -1;
};

// Endpoint 0: the session's state and the two class requests.
void ServeControl(Gadget& gadget) {
  usb_functionfs_event events[4];
  for (;;) {
    const ssize_t got = ::read(gadget.Ep0(), events, sizeof events);
    if (got < 0) {
      if (errno == EINTR) continue;
      Log("event ep0 read failed: %s", std::strerror(errno));
      return;
    }
    for (std::size_t k = 0; k < static_cast<std::size_t>(got) / sizeof events[0]; ++k) {
      const usb_functionfs_event& event = events[k];
      switch (event.type) {
        case FUNCTIONFS_ENABLE:
          Log("event enabled");
          break;
        case FUNCTIONFS_DISABLE:
          ++session;
          Log("event disabled");
          break;
        case FUNCTIONFS_SETUP: {
          const usb_ctrlrequest& setup = event.u.setup;
          if (setup.bRequest == kRequestGetMaxLun && (setup.bRequestType & USB_DIR_IN)) {
            const std::uint8_t maxLun = 0;
            if (::write(gadget.Ep0(), &maxLun, 1) != 1) Log("event get max lun: no answer");
          } else if (setup.bRequest == kRequestReset && !(setup.bRequestType & USB_DIR_IN)) {
            ++session;
            Log("event class reset");
            if (::read(gadget.Ep0(), nullptr, 0) != 0) Log("event class reset: no status stage");
          } else {
            // Stalls the request: a transfer against its direction.
            Log("event setup %02x %02x stalled", setup.bRequestType, setup.bRequest);
            if (setup.bRequestType & USB_DIR_IN) {
              (void)!::read(gadget.Ep0(), nullptr, 0);
            } else {
              (void)!::write(gadget.Ep0(), nullptr, 0);
            }
          }
          break;
        }
        default:
          break;
      }
    }
  }
}

std::string CdbText(const sim::Cdb& cdb) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : cdb) {
    std::snprintf(byte, sizeof byte, "%02X ", b);
    text += byte;
  }
  return text;
}

// The drive: the simulated drive for everything it knows, the rest here.
class Drive {
 public:
  explicit Drive(const Options& options)
      : drive_(sim::DriveConfig{.vendor = kFamilyVendor,
                                .product = kFamilyProduct,
                                .revision = kRevisionBefore,
                                .revisionAfterFlash = kFamilyRevisionAfterFlash,
                                .mediumPresent = false,
                                .becomingReadyAfterFlash = options.becomingReadyAfterFlash}) {}

  // Fills `data` (length bytes, zeroed by the caller) for data-in; returns the
  // sense and the bytes that mean something.
  sim::SenseTriple Execute(const sim::Cdb& cdb, bool dataIn, std::uint8_t* data,
                           std::uint32_t length, std::uint32_t& moved) {
    moved = 0;
    std::optional<sim::SenseTriple> sense = Standard(cdb, data, length, moved);
    if (!sense) {
      const sim::SimOutcome outcome =
          drive_.Execute(cdb, dataIn ? sim::kDirectionIn : 0, data, length, 0);
      sense = outcome.sense;
      moved = outcome.moved;
    }
    lastSense_ = *sense;
    return *sense;
  }

 private:
  // The answer to a command the simulated drive does not know; nothing for
  // the ones it does.
  std::optional<sim::SenseTriple> Standard(const sim::Cdb& cdb, std::uint8_t* data,
                                           std::uint32_t length, std::uint32_t& moved) {
    const auto answer = [&](std::initializer_list<std::uint8_t> bytes, std::uint32_t allocation) {
      moved = std::min({static_cast<std::uint32_t>(bytes.size()), allocation, length});
      std::copy_n(bytes.begin(), moved, data);
      return sim::kSenseNone;
    };
    switch (cdb[0]) {
      case kOpRequestSense: {
        const sim::SenseTriple last = lastSense_;
        lastSense_ = sim::kSenseNone;
        return answer(
            {0x70, 0, last.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, last.asc, last.ascq, 0, 0, 0, 0},
            cdb[4]);
      }
      case kOpGetEventStatus:
        // Media class: no change, no disc.
        if (cdb[4] & 0x10) return answer({0, 6, 0x04, 0x10, 0, 0, 0, 0}, Be16(&cdb[7]));
        return answer({0, 2, 0x80, 0x10}, Be16(&cdb[7]));
      case kOpGetConfiguration:
        // No current profile; the profile list names DVD-ROM and CD-ROM.
        return answer({0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0x03, 8, 0x00, 0x10, 0, 0, 0x00, 0x08, 0, 0},
                      Be16(&cdb[7]));
      case kOpModeSense10:
        if ((cdb[2] & 0x3F) != kPageCapabilities) return sim::kSenseInvalidField;
        // Header, then the capabilities page: reads CD-R/RW and DVD-ROM, tray.
        return answer({0,  26,   0,    0,    0,    0,    0, 0,    kPageCapabilities,
                       18, 0x0B, 0,    0x71, 0x60, 0x29, 0, 0x10, 0x89,
                       0,  0,    0x02, 0,    0x10, 0x89, 0, 0,    0,
                       0},
                      Be16(&cdb[7]));
      case kOpModeSense6:
        return sim::kSenseInvalidField;
      case kOpPreventAllow:
        return sim::kSenseNone;
      case kOpReadCapacity:
      case kOpRead10:
      case kOpRead12:
      case kOpReadToc:
      case kOpReadDiscInformation:
      case kOpReadTrackInformation:
        return sim::kSenseNoMedium;
      default:
        return std::nullopt;
    }
  }

  sim::SimDrive drive_;
  sim::SenseTriple lastSense_{};
};

// Reads exactly `length` bytes; false when the session ended first.
bool ReadAll(int fd, std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t got = ::read(fd, data, length);
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      return false;
    }
    data += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t put = ::write(fd, data, length);
    if (put <= 0) {
      if (put < 0 && errno == EINTR) continue;
      return false;
    }
    data += put;
    length -= static_cast<std::size_t>(put);
  }
  return true;
}

// Waits, but gives up as soon as the session ends.
bool WaitInSession(std::uint32_t milliseconds, unsigned ownSession) {
  for (std::uint32_t waited = 0; waited < milliseconds; waited += 10) {
    if (session != ownSession) return false;
    ::usleep(10 * 1000);
  }
  return session == ownSession;
}

bool IsImagePiece(const sim::Cdb& cdb, bool dataIn) {
  return cdb[0] == scsi::kOpWriteBuffer && !dataIn && cdb[kControlByte] == kControlData;
}

bool IsFlashStart(const sim::Cdb& cdb) {
  return cdb[0] == scsi::kOpWriteBuffer && (cdb[kControlByte] & 0x80) != 0;
}

void ServeBulk(Gadget& gadget, const Options& options) {
  Drive drive(options);
  std::vector<std::uint8_t> data(kMaxTransfer);
  std::uint32_t pieces = 0;
  for (;;) {
    std::uint8_t cbw[kCbwLength];
    const ssize_t got = ::read(gadget.Out(), cbw, sizeof cbw);
    if (unplugged) return;
    if (got != static_cast<ssize_t>(kCbwLength)) {
      // A reset or a disconnect: the next read waits until the host is back.
      if (got < 0) ::usleep(10 * 1000);
      continue;
    }
    const unsigned ownSession = session;
    if (Le32(cbw) != kCbwSignature) {
      Log("event not a command block");
      continue;
    }
    const std::uint32_t tag = Le32(cbw + 4);
    const std::uint32_t length = Le32(cbw + 8);
    const bool dataIn = (cbw[12] & kCbwDataIn) != 0;
    sim::Cdb cdb{};
    std::copy_n(cbw + 15, std::min<std::size_t>(cbw[14] & 0x1F, cdb.size()), cdb.begin());

    std::uint8_t status = kCswPassed;
    std::uint32_t residue = length;
    sim::SenseTriple sense{};
    if (length > kMaxTransfer) {
      status = kCswPhaseError;
      Log("cmd %s%s %u -> phase error", CdbText(cdb).c_str(), dataIn ? "in" : "out", length);
    } else {
      std::fill_n(data.begin(), length, 0);
      if (!dataIn && !ReadAll(gadget.Out(), data.data(), length)) continue;
      if (IsImagePiece(cdb, dataIn) && ++pieces == options.unplugAtPiece) {
        Log("cmd %s%s %u -> unplugged before status", CdbText(cdb).c_str(), "out", length);
        gadget.Unplug();
        return;
      }
      std::uint32_t moved = 0;
      sense = drive.Execute(cdb, dataIn, data.data(), length, moved);
      status = sense == sim::kSenseNone ? kCswPassed : kCswFailed;
      residue = length - moved;
      Log("cmd %s%s %u -> %02X %02X %02X", CdbText(cdb).c_str(), dataIn ? "in" : "out", length,
          sense.key, sense.asc, sense.ascq);
      if (IsFlashStart(cdb) && options.flashStartDelayMs > 0) {
        Log("event flash start answers in %u ms", options.flashStartDelayMs);
        if (!WaitInSession(options.flashStartDelayMs, ownSession)) {
          Log("event flash start abandoned by the host");
          continue;
        }
      }
      // Data-in is padded to the length asked for: no short packet to end.
      if (dataIn && length > 0 && !WriteAll(gadget.In(), data.data(), length)) continue;
    }
    if (session != ownSession) continue;
    std::uint8_t csw[kCswLength] = {};
    PutLe32(csw, kCswSignature);
    PutLe32(csw + 4, tag);
    PutLe32(csw + 8, residue);
    csw[12] = status;
    if (!WriteAll(gadget.In(), csw, sizeof csw)) Log("event status not delivered");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  logFile = std::fopen(options.logPath.c_str(), "w");
  if (!logFile) Die("open " + options.logPath);

  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  Gadget gadget(options.name);
  gadget.Create();
  gadget.Describe();
  std::thread control(ServeControl, std::ref(gadget));
  control.detach();
  gadget.Plug();
  std::thread bulk(ServeBulk, std::ref(gadget), std::cref(options));
  bulk.detach();

  int signal = 0;
  sigwait(&ending, &signal);
  gadget.Unplug();
  Log("event stopped");
  std::fclose(logFile);
  // The serving threads may sit in reads the kernel never ends.
  std::_Exit(0);
}
