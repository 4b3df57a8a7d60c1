// The Linux transport path: optical drives from sysfs, one SG_IO ioctl per command.
#pragma once

#include <scsi/sg.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/linux_sysfs_scan.h"
#include "device/transport.h"

// Issues one SG_IO request; returns 0 or the errno of a failed ioctl.
using SgIoCall = std::function<int(int fd, sg_io_hdr_t& header)>;

int IssueSgIo(int fd, sg_io_hdr_t& header);

class LinuxTransportPath : public TransportPath {
 public:
  // `hasRawIo` says whether this process may send firmware commands; empty
  // asks the kernel for CAP_SYS_RAWIO.
  explicit LinuxTransportPath(std::filesystem::path sysRoot = "/sys",
                              std::filesystem::path devRoot = "/dev", SgIoCall sgIo = IssueSgIo,
                              std::function<bool()> hasRawIo = {});

  PathSetup Setup() override { return {}; }
  // Drives whose host, target or LUN does not fit the 8-bit address are left
  // out. Each candidate carries its node, which Open then opens as it is.
  std::vector<DriveAddress> Candidates() override;
  // An address without a node is looked up by host, target and LUN, and only
  // found when one drive alone sits there.
  PathOpen Open(const DriveAddress& address) override;
  std::optional<std::string> SystemErrorText(std::uint32_t errorCode) override;

 private:
  std::vector<OpticalDriveNode> AddressableDrives() const;
  std::string NodeAt(const DriveAddress& address) const;  // empty: none or several

  std::filesystem::path sysRoot_;
  std::filesystem::path devRoot_;
  SgIoCall sgIo_;
  std::function<bool()> hasRawIo_;
};
