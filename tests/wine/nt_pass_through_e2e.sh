#!/usr/bin/env bash
# The unmodified flash.exe (32-bit or 64-bit) under Wine, through Wine's own
# IOCTL_SCSI_PASS_THROUGH_DIRECT, against simulated drives:
#   nt_pass_through_e2e.sh WINDOWS_BUILD_DIR PRELOAD_DIR
# PRELOAD_DIR is tests/wine of the Linux build: libflash-wine-sg-preload.so
# and, for 32-bit Wine, x86/libflash-wine-sg-preload.so.
# Drive letter D is a CD-ROM (registry) whose device (dosdevices/d::) is a
# regular file; the preload library answers SG_IO on that file from the
# population's drive D. Drive letter E is a CD-ROM whose device cannot be
# opened. The console front-end drives the program (standard input a pipe).
set -Eeuo pipefail
# A step that fails under set -e says which, instead of ending the run silently.
trap 'echo "FAIL: $(basename "$0"):$LINENO: $BASH_COMMAND" >&2' ERR

build=$(cd "$1" && pwd)
preloads=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
samples=$(cd "$here/../../samples" && pwd)
# shellcheck source=wine_lib.sh
. "$here/wine_lib.sh"
# The embedded block's layout, as the build read it from the program's sources.
# shellcheck source=/dev/null
. "$build/generated/block_layout.sh"

wine_use_or_skip "$build/flash.exe" "the NT pass-through of $build/flash.exe"
export WINEPREFIX=$build/wine-nt
wine_environment
unset DISPLAY  # console programs only: never open a window
work=$build/wine-nt-work

# Every process of the prefix loads the preload of its own width (the
# wineserver is 64-bit whatever the program is): ld.so puts the process's
# platform, x86_64 or i686, for $PLATFORM.
preload_dir=$work.preload
rm -rf "$preload_dir"
mkdir -p "$preload_dir/x86_64" "$preload_dir/i686"
for platform in x86_64 i686; do
  lib=$preloads/libflash-wine-sg-preload.so
  if [ "$platform" = i686 ]; then
    # Where the kernel starts no 32-bit process, no process needs it.
    wine_kernel_runs_32bit || continue
    lib=$preloads/x86/libflash-wine-sg-preload.so
  fi
  if [ ! -f "$lib" ]; then
    echo "FAIL: no preload library $lib (Linux build targets flash_wine_sg_preload" \
      "and flash_wine_sg_preload_x86; the latter needs g++-multilib)" >&2
    exit 1
  fi
  ln -s "$lib" "$preload_dir/$platform/"
done
preload="$preload_dir/\$PLATFORM/libflash-wine-sg-preload.so"  # ld.so expands $PLATFORM

register_drives() {
  wine_reg_set 'HKLM\Software\Wine\Drives' d: cdrom
  wine_reg_set 'HKLM\Software\Wine\Drives' e: cdrom
}

setup_prefix() {
  wine_prefix_make register_drives
  # The server that starts next must carry the preload like every process.
  wineserver -k 2>/dev/null || true
  mkdir -p "$WINEPREFIX/sim/root-d" "$WINEPREFIX/sim/root-e" "$WINEPREFIX/sim/devices/E-unopenable"
  : >"$WINEPREFIX/sim/devices/D"
  ln -sfn "$WINEPREFIX/sim/root-d" "$WINEPREFIX/dosdevices/d:"
  ln -sfn "$WINEPREFIX/sim/devices/D" "$WINEPREFIX/dosdevices/d::"
  rm -f "$WINEPREFIX/dosdevices/e:" "$WINEPREFIX/dosdevices/e::"
}

# run NAME POPULATION PROGRAM INPUT: the program's console output in $work/NAME.out
# (line ends as Unix), the commands the drives saw in $work/NAME.transcript.
run() {
  local name=$1 population=$2 program=$3 input=$4
  rm -f "$work/$name.transcript"
  LD_PRELOAD=$preload FLASH_SIM_POPULATION=$population \
    FLASH_SIM_WINE_DEVICES=$WINEPREFIX/sim/devices FLASH_SIM_TRANSCRIPT=$work/$name.transcript \
    wine_console_run "$work" "$name" 300 "$input" "$program"
  touch "$work/$name.transcript"
}

# A built flasher has the generic program's length and differs from it only in
# the record body and the first SIZE bytes of the image region.
check_patched() {
  local exe=$1 size=$2 marker_at first last
  [ "$(stat -c %s "$exe")" = "$(stat -c %s "$work/flash.exe")" ] || fail "$exe: length differs"
  marker_at=$(grep -obUaF "$FLASH_BLOCK_MARKER" "$work/flash.exe" | head -1 | cut -d: -f1)
  [ "$(grep -caF "$FLASH_BLOCK_MARKER" "$work/flash.exe")" = 1 ] || fail "flash.exe: marker not once"
  first=$((marker_at + FLASH_BLOCK_MARKER_SIZE))
  last=$((first + FLASH_BLOCK_RECORD_BODY_SIZE + size - 1))
  read -r lo hi < <({ cmp -l "$work/flash.exe" "$exe" || true; } | awk 'NR==1{lo=$1} {hi=$1} END{print lo-1, hi-1}')
  if [ "$lo" -lt "$first" ] || [ "$hi" -gt "$last" ]; then
    fail "$(basename "$exe"): bytes $lo..$hi changed, outside $first..$last"
  fi
}

setup_prefix
rm -rf "$work"
mkdir -p "$work"
cp "$build/flash.exe" "$samples/flash.INI" "$work/"
# One image per format: SM01 asks for a profile and the critical entry, SM02
# is plain, SM03 asks for a profile matched on four identification bytes.
cp "$samples/SM01.bin" "$work/SM01.bin"
cp "$samples/SM01.bin" "$work/SM02.bin"
printf '\x00' | dd of="$work/SM02.bin" bs=1 seek=$((FLASH_IMAGE_SIGNATURE_CRITICAL_ENTRY + 1)) \
  conv=notrunc status=none
cp "$work/SM02.bin" "$work/SM03.bin"
printf '\x05\x80' | dd of="$work/SM03.bin" bs=1 seek=$((FLASH_IMAGE_SIGNATURE_EXTENDED_ID)) \
  conv=notrunc status=none

echo "== builder mode"
run builder "$here/drive-d.txt" ./flash.exe \
  'click SM01.bin\npress\nclick SM02.bin\npress\nclick SM03.bin\npress\nclose\n'
for n in 1 2 3; do
  expect "$work/builder.out" "status: Build SM0$n.EXE complete!"
  check_patched "$work/SM0$n.EXE" "$(stat -c %s "$work/SM0$n.bin")"
done
[ ! -s "$work/builder.transcript" ] || fail "builder mode sent commands to a drive"

flash_lines=(
  "combo add 0: 0-0-0 D: ACME    DVD-ROM DVD-616 AB10"
  "status: Read back and Verify drive's DRAM... "
  "status: Flash Completed."
  "combo insert 0: 0-0-0 D: ACME    DVD-ROM DVD-616 AB15"
)
for n in 1 2 3; do
  echo "== flasher SM0$n.EXE"
  run "flash$n" "$here/drive-d.txt" "./SM0$n.EXE" 'yes\npress\nyes\nno\nclose\n'
  for line in "${flash_lines[@]}"; do expect "$work/flash$n.out" "$line"; done
  # Flash start (WRITE BUFFER with control 80h) reached the drive and passed.
  grep -q '^D: 3B 05 01 00 00 00 00 00 00 80 00 00 .* -> 00 00 00 ' "$work/flash$n.transcript" ||
    fail "flash$n: no successful flash start in the transcript"
done
expect "$work/flash1.out" "status: Drive entry critical... "
expect "$work/flash1.out" "status: Write profile to drive's DRAM... "
expect_not "$work/flash2.out" "status: Write profile to drive's DRAM... "
expect "$work/flash3.out" "status: Write profile to drive's DRAM... "
expect_not "$work/flash3.out" "status: Drive entry critical... "

# The hold on the drive, traced as Wine's file layer receives the control
# codes: the volume lock, the dismount, the class driver's exclusive access
# and the media-change notification before the sequence's first command, the
# volume given back after its last. Wine grants the lock as a stub and
# supports none of the others (errors 87, 50, 50): the flash goes on.
echo "== the drive is held around the sequence"
WINEDEBUG=trace+file run held "$here/drive-d.txt" ./SM02.EXE 'yes\npress\nyes\nno\nclose\n'
expect "$work/held.out" "status: Flash Completed."
order=$(grep -oiE '0x00(090018|090020|09001c|02c05c|2d0944|04d014)' "$work/held.err" |
  tr 'A-F' 'a-f' | uniq | tr '\n' ' ')
[ "$order" = "0x0004d014 0x00090018 0x00090020 0x0002c05c 0x002d0944 0x0004d014 0x0009001c " ] ||
  fail "held: control codes in the order $order"

echo "== a command failing with sense"
run sense "$here/drive-d-write-fails.txt" ./SM02.EXE 'yes\npress\nyes\n\nclose\n'
expect "$work/sense.out" "| Write Buffer> 03 0C 00. 02, 0000"
expect "$work/sense.out" "status: Write BIN to drive's DRAM... , Fail! "
expect_not "$work/sense.out" "status: Flash Completed."
# No device open has failed yet, so the system's text is not shown.
! grep -q "SenseCode" "$work/sense.out" || fail "sense.out: a sense report box while pop-ups are off"

echo "== a CD-ROM letter whose device cannot be opened"
ln -sfn "$WINEPREFIX/sim/root-e" "$WINEPREFIX/dosdevices/e:"
ln -sfn "$WINEPREFIX/sim/devices/E-unopenable" "$WINEPREFIX/dosdevices/e::"
wineserver -k 2>/dev/null || true  # the drive list is read when the prefix starts
run unopenable "$here/drive-d-write-fails.txt" ./SM02.EXE 'yes\n\n\npress\nyes\n\n\nclose\n'
rm -f "$WINEPREFIX/dosdevices/e:" "$WINEPREFIX/dosdevices/e::"
wineserver -k 2>/dev/null || true
# The console shows a backslash as "\\" and the system text's CR as "\r".
expect "$work/unopenable.out" '| Error opening: 5, Drive: \\\\.\\E:'
expect "$work/unopenable.out" '| SenseCode: 00 00 00, 00, Error: 5, Access denied.\r'
# D is still listed, and from now on every failing command shows the system's text too.
expect "$work/unopenable.out" "combo add 0: 0-0-0 D: ACME    DVD-ROM DVD-616 AB10"
expect "$work/unopenable.out" "| Write Buffer> 03 0C 00. 02, 0000"
expect "$work/unopenable.out" '| SenseCode: 03 0C 00, 02, Error: 0, Success.\r'

echo "== more drive letters than the usual root buffer holds"
# C, D, F to Y and Z: 23 roots need 93 characters, more than 80.
for letter in f g h i j k l m n o p q r s t u v w x y; do
  ln -sfn "$WINEPREFIX/sim/root-e" "$WINEPREFIX/dosdevices/$letter:"
done
wineserver -k 2>/dev/null || true
run many "$here/drive-d.txt" ./SM02.EXE 'yes
close
'
for letter in f g h i j k l m n o p q r s t u v w x y; do rm -f "$WINEPREFIX/dosdevices/$letter:"; done
wineserver -k 2>/dev/null || true
expect "$work/many.out" "combo add 0: 0-0-0 D: ACME    DVD-ROM DVD-616 AB10"

wine_finish "NT pass-through under Wine ($(wine_exe_bits "$build/flash.exe")-bit)" "$work"
