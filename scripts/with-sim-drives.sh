#!/usr/bin/env bash
# Runs a program (build/flash, or a flasher it built) against simulated drives:
#
#   scripts/with-sim-drives.sh [--transcript FILE] [--log FILE] POPULATION -- PROGRAM [ARGS...]
#
# The preload library answers the program's sysfs scan, its opens of /dev/srN
# and its SG_IO ioctls from the drives of POPULATION (see README.md, "Simulated drives"),
# and catches restart requests. The program itself is not changed. Nothing
# runs unless the library is confirmed loaded first, so a missing or broken
# library can never leave the program facing the real drives or the real
# restart.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preload=${FLASH_SIM_PRELOAD:-$root/build/sim/preload/libflash-sim-preload.so}
transcript='' log=''
while [ $# -gt 0 ]; do
  case $1 in
    --transcript) transcript=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 3 ] || [ "$2" != "--" ]; then
  echo "usage: $0 [--transcript FILE] [--log FILE] POPULATION -- PROGRAM [ARGS...]" >&2
  exit 2
fi
population=$1
shift 2
[ -f "$preload" ] || { echo "$0: no preload library at $preload: build it with" \
  "'cmake --build build --target flash_sim_preload'" >&2; exit 125; }
[ -r "$population" ] || { echo "$0: cannot read the population file $population" >&2; exit 125; }

# A program built with AddressSanitizer needs its runtime loaded before any
# other library, the preload included (the asan preset instruments both).
program=$(command -v "$1" || true)
runtime=$(ldd "$preload" ${program:+"$program"} 2>/dev/null | awk '/libasan\.so/ {print $3; exit}')
if [ -n "$runtime" ]; then
  preload="$runtime:$preload"
fi

# The dynamic loader only warns about a library it cannot preload and runs the
# program anyway, so prove the library loads before trusting it: only through
# it does the simulated sysfs tree, with its marker, exist.
if ! LD_PRELOAD=$preload FLASH_SIM_POPULATION=$population \
    cat /sys/class/block/.flash-sim </dev/null | grep -q '^simulated'; then
  echo "$0: the preload library $preload did not start (see above); nothing was run" >&2
  exit 125
fi

exec env LD_PRELOAD="$preload" FLASH_SIM_POPULATION="$population" \
  FLASH_SIM_TRANSCRIPT="$transcript" FLASH_SIM_LOG="$log" "$@"
