#!/bin/bash
# Boots Debian's stock kernel under QEMU with four emulated CD-ROMs and runs
# PROBE inside it as root, so the SG_IO transport meets a real kernel
# (libata, usb-storage, sr_mod, the block layer's SG_IO and its exclusive
# opens) instead of a stand-in: two on the IDE channels, one empty and one
# holding a small ISO 9660 disc that the VM mounts, one on a SATA (AHCI) port
# and one behind QEMU's USB mass-storage device on an xHCI controller.
#
# Usage: run_vm.sh PROBE CACHE_DIR
#   PROBE      the in-VM test program; its shared libraries are copied beside it
#   CACHE_DIR  where the kernel and its modules are kept between runs
#
# Exits 0 only when the probe printed the pass marker. Anything else (missing
# tools, no kernel, a VM that never boots or hangs, a probe that crashes) fails
# and prints the VM's console. It installs nothing: scripts/install-deps.sh
# does, and a missing tool fails the test with the command that installs it.
# The kernel package itself is fetched (not installed) into CACHE_DIR.
set -euo pipefail
vm_name=kernel_sg_io
# shellcheck source=tests/kernel/vm_lib.sh
source "$(dirname "$0")/vm_lib.sh"

# TCG boots this kernel in well under a minute; the margin covers a busy host.
readonly vm_timeout_seconds=300
readonly medium_mount=/mnt/medium
readonly drive_count=4

[[ $# -eq 2 ]] || fail "usage: $0 PROBE CACHE_DIR"
probe=$1
cache=$2
[[ -x $probe ]] || fail "no test program at $probe"

write_init_body() {
  cat <<EOF
# The SCSI scans of the ports go on after insmod returns; USB's takes longest.
n=0
while [ \$(ls /sys/class/block | grep -c '^sr') -lt $drive_count ] && [ \$n -lt 60 ]; do
  sleep 1
  n=\$((n + 1))
done
# Only the drive with a disc mounts; the probe finds it in /proc/mounts.
mkdir -p $medium_mount
for node in /dev/sr*; do
  mount -t iso9660 -o ro \$node $medium_mount 2>/dev/null && echo "info \$node mounted on $medium_mount"
done
/bin/probe || finish "$fail_marker probe exited with status \$?"
EOF
}

check_host_tools
fetch_kernel

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
add_program "$scratch/root" "$probe" /bin/probe
vm_build_initramfs "$scratch/root" "$scratch/initramfs.gz"
mkdir "$scratch/disc"
echo "a disc for the exclusive-open test" >"$scratch/disc/readme.txt"
genisoimage -quiet -V FLASHTEST -o "$scratch/medium.iso" "$scratch/disc" ||
  fail "cannot make the disc image"

# Index 1 is the primary IDE channel's slave, so the empty drive sits at a
# non-zero target on host 0 and an address with host and target swapped shows
# up; index 2, the secondary channel's master, holds the disc at host 1.
vm_run "$scratch/initramfs.gz" "$scratch/console.log" "$vm_timeout_seconds" \
  -drive if=ide,media=cdrom,index=1 \
  -drive if=ide,media=cdrom,index=2,format=raw,file="$scratch/medium.iso" \
  -device ahci,id=sata -drive if=none,id=sata-cd,media=cdrom \
  -device ide-cd,bus=sata.0,drive=sata-cd \
  -device qemu-xhci,id=usb -device usb-bot,id=bot,bus=usb.0 \
  -drive if=none,id=usb-cd,media=cdrom -device scsi-cd,bus=bot.0,drive=usb-cd
vm_verdict "$scratch/console.log"
