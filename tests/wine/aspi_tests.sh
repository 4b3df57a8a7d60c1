#!/usr/bin/env bash
# The unmodified flash.exe (32-bit or 64-bit) on the ASPI path, under Wine in
# a prefix that reports Windows 98, with the test WNASPI32.DLL answering from
# simulated drives. Drives the console front-end through a pipe.
#
#   tests/wine/aspi_tests.sh WINDOWS_BUILD_DIR REFERENCE_FLASHER
#
# WINDOWS_BUILD_DIR holds flash.exe and test-aspi/WNASPI32.DLL of the same
# width (preset windows-x86 or windows-x64); REFERENCE_FLASHER is
# tests/wine/reference_flasher of the Linux build, which writes the flasher
# the Linux builder makes of the same file. Takes about a minute and a half:
# one command is left to its full 60-second time-out.
set -Eeuo pipefail
# A step that fails under set -e says which, instead of ending the run silently.
trap 'echo "FAIL: $(basename "$0"):$LINENO: $BASH_COMMAND" >&2' ERR

win=$(realpath "$1")
reference=$(realpath "$2")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=wine_lib.sh
. "$source_dir/tests/wine/wine_lib.sh"
work=$win/aspi-wine

wine_use_or_skip "$win/flash.exe" "the ASPI runs of $win/flash.exe"
export WINEPREFIX=$win/wine-aspi
# Wine's own ASPI layer stays out (wnaspi32=n: the DLL beside the program).
wine_environment "wnaspi32=n"
unset FLASH_SIM_POPULATION FLASH_SIM_TRANSCRIPT

# run DIR PROGRAM INPUT [POPULATION]: runs PROGRAM in DIR with INPUT on its
# standard input; output in DIR/PROGRAM.out (with Unix line ends), the
# drives' commands in DIR/PROGRAM.transcript.
run() {
  local dir=$1 program=$2 input=$3 population=${4:-}
  rm -f "$dir/$program.transcript"
  FLASH_SIM_POPULATION=$population FLASH_SIM_TRANSCRIPT=$dir/$program.transcript \
    wine_console_run "$dir" "$program" 180 "$input" "$program"
}

rm -rf "$work"
mkdir -p "$work"
echo "== Wine prefix reporting Windows 98: $WINEPREFIX"
windows98() { wine_reg_set 'HKCU\Software\Wine' Version win98; }
wine_prefix_make windows98

# Three 64 KiB images, one per format: the 05 80 signature where the
# critical entry is asked for, where the extended-id profile is, none for
# plain; every other place a signature could stand is cleared.
# shellcheck source=/dev/null
. "$win/generated/block_layout.sh"
python3 - "$work" "$FLASH_IMAGE_SIGNATURE_CRITICAL_ENTRY" "$FLASH_IMAGE_SIGNATURE_EXTENDED_ID" \
  $FLASH_IMAGE_SIGNATURE_OFFSETS <<'PY'
import pathlib, sys
work = pathlib.Path(sys.argv[1])
critical, extended, *places = (int(offset, 0) for offset in sys.argv[2:])
for name, signature in (("SMP1", None), ("SMC1", critical), ("SMX1", extended)):
    image = bytearray((i * 29 + (i >> 7) + len(name)) & 0xFF for i in range(0x10000))
    image[0:4] = name.encode()
    for offset in places:
        if offset + 1 < len(image):
            image[offset + 1] = 0x00
    if signature is not None:
        image[signature:signature + 2] = b"\x05\x80"
    (work / f"{name}.bin").write_bytes(bytes(image))
PY

sample_drive='drive 0:0:0:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB10
  revision-after-flash AB15
'

echo "== builder mode writes the flashers as the Linux builder does"
builder=$work/builder
mkdir -p "$builder" "$work/reference"
cp "$win/flash.exe" "$source_dir/samples/flash.INI" "$work"/SM?1.bin "$builder/"
run "$builder" flash.exe 'select 0\nclick SMP1.bin\npress\nclick SMC1.bin\npress\nclick SMX1.bin\npress\nclose\n'
for name in SMP1 SMC1 SMX1; do
  expect "$builder/flash.exe.out" "status: Build $name.EXE complete!"
  "$reference" "$builder/flash.exe" "$builder/flash.INI" 0 "$builder/$name.bin" "$work/reference" ||
    fail "the reference builder failed for $name.bin"
  cmp -s "$work/reference/$name.EXE" "$builder/$name.EXE" ||
    fail "$name.EXE differs from the flasher the Linux builder writes"
done

# The late completion: the first image piece's WRITE BUFFER ends 62 s after
# it was sent, 2 s after the program stopped waiting (60 s time-out). The user
# presses FLASH again at once; STOP PLAY/SCAN then answers "becoming ready"
# 150 times, which keeps that second run in its readiness wait (30 ms a pass)
# while the late completion arrives. Started first, in the background: it is
# the long one.
echo "== a request left pending past its time-out, completed late (about 65 s)"
late=$work/late
mkdir -p "$late"
cp "$builder/SMP1.EXE" "$win/test-aspi/WNASPI32.DLL" "$late/"
{
  printf '%s' "$sample_drive"
  echo "  fault opcode 3B control 00 occurrence 1 completes-late 62000"
  for k in $(seq 3 152); do echo "  fault opcode 4E occurrence $k sense 02 04 01"; done
} >"$late/drives.txt"
run "$late" SMP1.EXE 'yes\npress\nyes\n\npress\nyes\nno\nclose\n' drives.txt &
late_run=$!

echo "== without WNASPI32.DLL every probe shows the load-failure dialog"
absent=$work/absent
mkdir -p "$absent"
cp "$builder/SMP1.EXE" "$absent/"
run "$absent" SMP1.EXE 'yes\n'
python3 - "$absent/SMP1.EXE.out" <<'PY' || fail "the load-failure dialogs are not as expected"
import sys
text = open(sys.argv[1]).read()
dialog = ("box error ok\n"
          "| Unable to load WNASPI32.DLL !\n"
          "| You can down the DLL from http://www.adaptec.com/en-us/speed/software_tools/aspi/\n"
          "|  and copy the DLL to system directory.\n"
          "| \n"
          "| \n"
          "box end\n")
count = text.count(dialog)
if count != 40:
    sys.exit(f"{count} load-failure dialogs, expected 40 (one per probe)")
PY
grep -q "Can't find ATAPI Drive !" "$absent/SMP1.EXE.out" || fail "no report of the empty drive list"

echo "== the scan finds drives at adapters 0-19, targets 0-1, LUN 0 only"
scan=$work/scan
mkdir -p "$scan"
cp "$builder/SMP1.EXE" "$win/test-aspi/WNASPI32.DLL" "$scan/"
cat >"$scan/drives.txt" <<'EOF2'
drive 0:0:0:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB10
drive 0:0:1:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB11
drive 2:0:0:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB12
# Listed but not offered: another device answers INQUIRY like any drive.
drive 5:0:0:0
  vendor "OTHER   "
  product "HARD DISK       "
  revision 0001
drive 12:0:1:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB13
drive 19:0:1:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB14
# Outside the scan: target 2, LUN 1, adapter 20.
drive 3:0:2:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
drive 4:0:0:1
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
drive 20:0:0:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
EOF2
run "$scan" SMP1.EXE 'yes\nclose\n' drives.txt
grep '^combo add' "$scan/SMP1.EXE.out" >"$scan/combo" || true
diff -u - "$scan/combo" <<'EOF2' || fail "the scan offered other drives than expected"
combo add 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB10
combo add 1: 0-1-0  : ACME    DVD-ROM DVD-616 AB11
combo add 2: 2-0-0  : ACME    DVD-ROM DVD-616 AB12
combo add 3: 12-1-0  : ACME    DVD-ROM DVD-616 AB13
combo add 4: 19-1-0  : ACME    DVD-ROM DVD-616 AB14
EOF2
# The drives inside the scan, first met in scan order; none outside it.
awk '!seen[$1]++ { print $1 }' "$scan/SMP1.EXE.transcript" >"$scan/addresses"
diff -u - "$scan/addresses" <<'EOF2' || fail "the scan probed other addresses than expected"
0:0:0
0:1:0
2:0:0
5:0:0
12:1:0
19:1:0
EOF2

echo "== a built flasher flashes a drive end to end, for each image format"
declare -A steps=(
  [SMP1]="Write BIN to drive's DRAM... |Read back and Verify drive's DRAM... "
  [SMC1]="Write profile to drive's DRAM... |Write BIN to drive's DRAM... |Drive entry critical... |Read back and Verify drive's DRAM... "
  [SMX1]="Write profile to drive's DRAM... |Write BIN to drive's DRAM... |Read back and Verify drive's DRAM... "
)
for name in SMP1 SMC1 SMX1; do
  dir=$work/flash-$name
  mkdir -p "$dir"
  cp "$builder/$name.EXE" "$win/test-aspi/WNASPI32.DLL" "$dir/"
  printf '%s' "$sample_drive" >"$dir/drives.txt"
  run "$dir" "$name.EXE" 'yes\npress\nyes\nno\nclose\n' drives.txt
  expected=$(printf '%s|' "${steps[$name]}" "Don't turn off the system, Flash is in progress..." \
    "Waiting for the drive to restart with its new firmware..." "Flash Completed.")
  actual=$(sed -n 's/^status: //p' "$dir/$name.EXE.out" | tr '\n' '|')
  [ "$actual" = "$expected" ] || fail "$name.EXE: status lines $actual, expected $expected"
  expect "$dir/$name.EXE.out" "combo insert 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB15"
  expect "$dir/$name.EXE.transcript" \
    "0:0:0 3B 05 01 00 00 00 00 00 00 80 00 00 in 16 -> 00 00 00"
done

# ASPI counts no residue. A READ BUFFER that moves 100 bytes of a piece that
# repeats the one before it (images padded with FFh) must not pass the
# compare on the bytes left from that piece: the adapter's underrun status
# fails it, and where a layer reports none the buffer holds nothing that can
# match.
echo "== a short read-back over a piece that repeats the one before"
short=$work/short
mkdir -p "$short"
cp "$win/flash.exe" "$source_dir/samples/flash.INI" "$short/"
python3 - "$work/SMP1.bin" "$short/SMF1.bin" <<'PY'
import sys
first = open(sys.argv[1], "rb").read()[:0x4000]
open(sys.argv[2], "wb").write(first + b"\xff" * 0xC000)
PY
run "$short" flash.exe 'select 0\nclick SMF1.bin\npress\nclose\n'
expect "$short/flash.exe.out" "status: Build SMF1.EXE complete!"
{
  printf '%s' "$sample_drive"
  echo "  fault opcode 3C occurrence 3 short-transfer 100"
} >"$short/drives.txt"
cp "$win/test-aspi/WNASPI32.DLL" "$short/"
run "$short" SMF1.EXE 'yes\npress\nyes\n\nclose\n' drives.txt
expect "$short/SMF1.EXE.out" "| Read Buffer> 00 00 00. 01, 045D"
expect "$short/SMF1.EXE.out" "status: Read back and Verify drive's DRAM... , Read Fail! "
cp "$short/SMF1.EXE" "$short/SMF2.EXE"
FLASH_SIM_ASPI_SILENT_UNDERRUN=1 run "$short" SMF2.EXE 'yes\npress\nyes\n\nclose\n' drives.txt
expect "$short/SMF2.EXE.out" "| Compare BIN and DRAM fail!"
expect "$short/SMF2.EXE.out" "status: Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! "
for program in SMF1 SMF2; do
  ! grep -q ' 3B 05 01 00 00 00 00 00 00 80 ' "$short/$program.EXE.transcript" ||
    fail "$program: a flash start after a short read-back"
done

wait "$late_run" || true
out=$late/SMP1.EXE.out
expect "$out" "| Write Buffer> 00 00 00. 00, 05B4"
expect "$out" "status: Write BIN to drive's DRAM... , Fail! "
expect "$out" "status: Flash Completed."
# The late completion must have landed while the second run was sending
# commands: after its first START STOP UNIT and before its last command.
python3 - "$late/SMP1.EXE.transcript" <<'PY' || fail "the late completion did not land inside the second run"
import sys
lines = open(sys.argv[1]).read().splitlines()
late = [i for i, l in enumerate(lines) if l.endswith("(62000 ms late)")]
if len(late) != 1:
    sys.exit(f"{len(late)} late completions in the transcript")
starts = [i for i, l in enumerate(lines) if l.startswith("0:0:0 1B 00 00 00 03 ")]
if len(starts) != 2 or not starts[1] < late[0] < len(lines) - 1:
    sys.exit("the late completion came outside the second run")
# Every poll waited for its own answer: a completion taken for another
# request's would end the readiness wait before the drive said it was ready.
polls = sum(1 for l in lines if l.startswith("0:0:0 4E ") and l.endswith("-> 02 04 01"))
if polls != 150:
    sys.exit(f"{polls} polls answered 'becoming ready', expected 150")
PY

# The test layer notes every misuse of a request it still holds.
if grep -h 'host fault' "$work"/*/*.transcript | sort | uniq -c | grep .; then
  fail "a program reused a request's block or event while the layer held it"
fi

wine_finish "ASPI runs under Wine ($(wine_exe_bits "$win/flash.exe")-bit)" "$work"
