#!/bin/bash
# A whole flash through a real kernel's USB storage stack: boots Debian's
# stock kernel under QEMU, where usb_drive_double serves an optical drive of
# the sample model over dummy_hcd, so usb-storage attaches it and sr makes
# /dev/srN of it, and runs a flasher built by the unmodified program from the
# sample model description and image against it, as a user would (the
# console front-end, answers on standard input). Three cases, each with a
# drive plugged in afresh:
#   whole    the whole sequence, while a udev-like prober opens and probes
#            the node and kernel polling runs every 200 ms
#   timeout  the drive answers the flash start only after the program's
#            time-out for it has passed
#   unplug   the drive is unplugged while an image piece is in flight
#   narrow   the node's transfer limit is set below one piece (4 KiB, as
#            usb-storage sets it for bridges with the max-sectors quirk)
#   unprivileged  a user who may open the node but lacks CAP_SYS_RAWIO runs it
# check_usb_flash.py judges the console: the drive's log of every command it
# received, the program's output and the prober's counts.
#
# Usage: run_usb_vm.sh FLASH SAMPLES DOUBLE PROBER CACHE_DIR
set -euo pipefail
vm_name=kernel_usb_flash
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/kernel/vm_lib.sh
source "$here/vm_lib.sh"

# The time-out case waits out the program's 180-second flash start time-out
# (and the kernel's reset after it); the rest takes a minute under TCG.
readonly vm_timeout_seconds=900
# Longer than the program's time-out for the flash start.
readonly late_flash_start_ms=240000
readonly unplug_piece=3
readonly flasher=SM01.EXE
# Warning box, FLASH, the update question, the restart question, close.
readonly answers='yes\npress\nyes\nno\nclose\n'

[[ $# -eq 5 ]] || fail "usage: $0 FLASH SAMPLES DOUBLE PROBER CACHE_DIR"
flash=$1 samples=$2 double=$3 prober=$4 cache=$5
for program in "$flash" "$double" "$prober"; do
  [[ -x $program ]] || fail "no program at $program"
done

write_init_body() {
  cat <<EOF
# Kernel messages would cut through the reports' lines on the console.
echo 1 >/proc/sys/kernel/printk
mkdir -p /etc
echo 'root:x:0:0::/:/bin/sh' >/etc/passwd
echo 'nobody:x:65534:65534::/:/bin/sh' >>/etc/passwd
printf 'root:x:0:\nnogroup:x:65534:\n' >/etc/group

# Waits for the double's node: the sr device whose vendor is the sample's.
double_node() {
  n=0
  while [ \$n -lt 150 ]; do
    for vendor in /sys/class/block/sr*/device/vendor; do
      if grep -q '^ACME' \$vendor 2>/dev/null; then
        node=\${vendor#/sys/class/block/}
        echo \${node%%/*}
        return 0
      fi
    done
    sleep 0.2
    n=\$((n + 1))
  done
  return 1
}

# run_case NAME [DOUBLE OPTIONS...]
run_case() {
  name=\$1
  shift
  /bin/usb_drive_double --log /tmp/\$name.log --name \$name "\$@" 2>/tmp/\$name.err &
  double=\$!
  sr=\$(double_node) || { cat /tmp/\$name.err; finish "$fail_marker \$name: the kernel made no node of the drive"; }
  echo "info \$name: the drive is /dev/\$sr"
  run=./$flasher
  case \$name in
    whole)
      echo 200 >/sys/block/\$sr/events_poll_msecs
      : >/tmp/prober.out
      /bin/udev_like_prober /dev/\$sr >/tmp/prober.out &
      prober=\$!
      n=0
      while ! grep -q 'first probe' /tmp/prober.out && [ \$n -lt 100 ]; do sleep 0.1; n=\$((n + 1)); done
      ;;
    narrow)
      echo 4 >/sys/block/\$sr/queue/max_sectors_kb
      ;;
    unprivileged)
      chmod 666 /dev/\$sr /dev/\$(ls /sys/class/block/\$sr/device/scsi_generic)
      run="su -s /bin/sh -c ./$flasher nobody"
      ;;
  esac
  echo "START \$name"
  (cd /work && printf '$answers' | timeout 600 \$run >/tmp/\$name.out 2>&1; echo "exit status \$?" >>/tmp/\$name.out)
  echo "END \$name"
  if [ \$name = whole ]; then
    kill \$prober
    wait \$prober
    sed 's/^/PROBER /' /tmp/prober.out
  fi
  kill \$double
  wait \$double
  sed "s/^/LOG \$name /" /tmp/\$name.log
  sed "s/^/OUT \$name /" /tmp/\$name.out
  sed "s/^/ERR \$name /" /tmp/\$name.err
  sleep 1
}

run_case whole --becoming-ready-after-flash 10
run_case unplug --unplug-at-piece $unplug_piece
run_case narrow
run_case unprivileged
run_case timeout --flash-start-delay-ms $late_flash_start_ms
dmesg | grep -E 'usb|sr |scsi|reset|sd ' | sed 's/^/DMESG /'
echo "$pass_marker"
EOF
}

check_host_tools
command -v python3 >/dev/null ||
  fail "missing python3; install with: apt-get install -y python3 (or $install_hint)"
fetch_kernel

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The flasher, built the way a user builds it.
mkdir -p "$scratch/build"
cp "$flash" "$samples/flash.INI" "$samples/SM01.bin" "$scratch/build/"
(cd "$scratch/build" && printf 'click SM01.bin\npress\nclose\n' | ./flash >build.out 2>&1) ||
  { cat "$scratch/build/build.out"; fail "the builder failed"; }
[[ -f $scratch/build/$flasher ]] || { cat "$scratch/build/build.out"; fail "no $flasher built"; }

root=$scratch/root
add_program "$root" "$scratch/build/$flasher" "/work/$flasher"
add_program "$root" "$double" /bin/usb_drive_double
add_program "$root" "$prober" /bin/udev_like_prober
vm_build_initramfs "$root" "$scratch/initramfs.gz"

vm_run "$scratch/initramfs.gz" "$scratch/console.log" "$vm_timeout_seconds"
if ! python3 "$here/check_usb_flash.py" "$scratch/console.log.txt" "$unplug_piece"; then
  echo "$vm_name: the checks failed (qemu exit status $vm_status); console follows" >&2
  cat "$scratch/console.log.txt"
  exit 1
fi
