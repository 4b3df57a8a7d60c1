#!/usr/bin/env bash
# The main job: build the program, build a flasher from the sample model
# description file and the synthetic sample image, and start it. Then the
# same with the demo program, whose simulated drive lets the flasher run its
# whole sequence on a machine without such a drive.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --build-only

cmake -S . -B build
cmake --build build -j "$(nproc)" --target flash flash-demo

run() {  # run DIR PROGRAM INPUT: the console front-end reads INPUT
  echo "\$ printf '$3' | ./$2"
  (cd "$1" && printf '%b' "$3" | "./$2")
  echo
}

# What a user answers: the shipped program finds no drive here and reports
# it; the demo's flasher finds its simulated drive and flashes it.
declare -A answers=([flash]='yes\nok\n' [flash-demo]='yes\npress\nyes\nno\nclose\n')
for program in flash flash-demo; do
  demo=build/demo-$program
  rm -rf "$demo" && mkdir -p "$demo"
  cp "build/$program" "$demo/flash"
  cp samples/flash.INI samples/SM01.bin "$demo/"
  echo "=== $program: build a flasher for model 0 from SM01.bin (in $demo)"
  run "$demo" flash 'click SM01.bin\npress\nclose\n'
  echo "=== $program: start the flasher SM01.EXE, accept the warning, flash, decline the restart"
  run "$demo" SM01.EXE "${answers[$program]}"
done
