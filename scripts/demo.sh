#!/usr/bin/env bash
# The main job: build the program, build a flasher from the sample model
# description file and the synthetic sample image with the unmodified
# build/flash, then start that flasher against one simulated drive of the
# sample model. Run from a terminal, the flasher opens its terminal window
# for you to accept the warning, press FLASH and follow the sequence; run
# otherwise, the console front-end answers as a user would. Nothing here
# needs root or an optical drive, and a restart request is caught by the
# simulation: the machine is never restarted.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh --build-only

cmake -S . -B build
cmake --build build -j "$(nproc)" --target flash flash_sim_preload

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
cp build/flash samples/flash.INI samples/SM01.bin "$demo/"

echo "=== build a flasher for model 0 from SM01.bin (in $demo)"
echo "\$ printf 'click SM01.bin\\npress\\nclose\\n' | ./flash"
(cd "$demo" && printf 'click SM01.bin\npress\nclose\n' | ./flash)
echo

population=$root/sim/populations/sample-drive.txt
run_flasher=("$root/scripts/with-sim-drives.sh" "$population" -- ./SM01.EXE)
echo "=== start the flasher SM01.EXE against one simulated drive ($population)"
if [ -t 0 ] && [ -t 1 ]; then
  echo "Accept the warning, press FLASH (Enter on the button), answer the questions;"
  echo "F10 or Ctrl-Q closes the window. Starting in 3 seconds..."
  sleep 3
  (cd "$demo" && "${run_flasher[@]}")
else
  echo "\$ printf 'yes\\npress\\nyes\\nno\\nclose\\n' | scripts/with-sim-drives.sh ... -- ./SM01.EXE"
  (cd "$demo" && printf 'yes\npress\nyes\nno\nclose\n' | "${run_flasher[@]}")
fi
