#!/usr/bin/env bash
# The terminal window's cases, on the real program in tmux:
#   cases.sh CASE FLASH SAMPLES [WITH_SIM_DRIVES POPULATIONS]
set -euo pipefail
name=$1
export FLASH=$2 SAMPLES=$3
WITH_SIM=${4:-}
POPULATIONS=${5:-}
# shellcheck source=tmux_driver.sh
source "$(dirname "$0")/tmux_driver.sh"

# Builder mode from the keyboard: Tab to the file list, choose the file,
# Tab to Build, press it; F10 closes. With TERM as given.
builder() {
  local term=$1
  prepare
  start "$term" ./flash
  wait_for "Select Model:"
  wait_for "SM01.bin"
  # The drop-down list by Alt-Down, cancelled; by F4, the second model
  # chosen; Up goes back to the first. The caption names the chosen model.
  keys M-Down
  wait_for "[^]"
  wait_for "│--------- --"
  keys Escape
  wait_gone "[^]"
  # tmux sends F4 as today's xterm does, which the Linux console's and the
  # old monochrome xterm's descriptions do not know.
  case $term in
    linux | xterm-mono) keys M-Down ;;
    *) keys F4 ;;
  esac
  keys Down Enter
  wait_for "Flash Utility V1.051 ---------"
  keys Up
  wait_for "Flash Utility V1.051 AB10-AB1Z"
  keys Tab Down Enter
  keys Tab Enter
  wait_for "Build SM01.EXE complete!"
  [ "$(stat -c %s "$work/SM01.EXE")" = "$(stat -c %s "$work/flash")" ] ||
    fail "SM01.EXE is not a whole copy"
  # Colours where the terminal has them: the title bar's blue background.
  if tm capture-pane -p -e -t "$pane" | head -n 1 | grep -q $'\e\\[[0-9;]*44m'; then
    [ "$term" != xterm-mono ] || fail "colours on a terminal without them"
  else
    [ "$term" = xterm-mono ] || fail "no colours on $term"
  fi
  keys F10
  finished 0
  restored
}

# A population file in the case's directory: the sample model's drive at
# AB10, with the lines given added to it.
population() {
  {
    echo 'drive 0:0:0:0'
    echo '  vendor "ACME    "'
    echo '  product "DVD-ROM DVD-616 "'
    echo '  revision AB10'
    echo '  revision-after-flash AB15'
    for line in "$@"; do echo "  $line"; done
  } > "$work/drives.txt"
}

# The flasher against the simulated drive; restart requests go to restarts.log.
start_flasher() {
  [ -n "$WITH_SIM" ] || fail "no simulated-drive runner given"
  start "$1" "bash '$WITH_SIM' --transcript transcript.log --log restarts.log drives.txt -- ./SM01.EXE"
}

# The flash-start command's lines in the transcript: one once it completed.
flash_starts() {
  grep -c '^sr0 3B 05 01 00 00 00 00 00 00 80 .* -> 00 00 00' "$work/transcript.log" || true
}

# until_gone PID: until that process has ended (it is no child of ours).
until_gone() {
  local deadline=$((SECONDS + 30))
  while kill -0 "$1" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the program did not end"
    sleep 0.1
  done
}

# Accepts the warning, moves to FLASH, presses it and says Yes to the update.
flash_from_the_keyboard() {
  wait_for "Do you wish to continue?"
  keys y
  wait_for "DVD-ROM DVD-616 AB10"
  keys Tab Enter
  wait_for "Update Firmware AB10 to SM01 ?"
  wait_for "Confirm"
  keys y
}

case $name in
  builder-*)
    builder "${name#builder-}"
    ;;

  keyboard-path)
    # A new user's path: Tab to the file list, Enter, Tab to Build, Enter.
    # With no firmware file there is nothing to click and Build stays off.
    prepare
    mv "$work/SM01.bin" "$work/SM01.bin.away"
    start xterm ./flash
    wait_for "Select Model:"
    keys Tab Enter Tab Enter
    sleep 0.5
    screen | grep -qiF "fail" && fail "a click on no file reached Build"
    screen | grep -qF "[ Build ]" || fail "no Build button"
    [ ! -e "$work/SM01.EXE" ] || fail "something was built"
    # The file comes back; choosing the model again (the focus is back on
    # the combo box) re-reads the list.
    mv "$work/SM01.bin.away" "$work/SM01.bin"
    keys Down Up
    wait_for "SM01.bin"
    keys Tab Enter Tab Enter
    wait_for "Build SM01.EXE complete!"
    keys Enter F10
    finished 0
    restored
    ;;

  no-cursor-addressing)
    # TERM=dumb, and a description that cannot place the cursor, get the
    # console front-end's lines instead of a window they cannot draw.
    prepare
    mkdir "$work/terminfo"
    printf 'xterm-nocup|xterm without cursor addressing,\n\tcup@, use=xterm,\n' > "$work/nocup.src"
    tic -o "$work/terminfo" "$work/nocup.src"
    for term in dumb xterm-nocup; do
      rm -f "$work/rc"
      socket="flash-terminal-$$-$term"
      start "$term" env TERMINFO="$work/terminfo" ./flash
      wait_for "label: Select Model:"
      screen | grep -qF "│" && fail "a window was drawn on $term"
      keys close Enter
      finished 0
      restored
      tm kill-server
    done
    ;;

  unknown-escape)
    # Sequences xterm's description does not know (a key report of the kitty
    # protocol, a paste bracket, an SS3 key, a colour report) are dropped
    # whole: nothing of them is typed into the combo box, and the keys after
    # them still work.
    prepare
    start xterm ./flash
    wait_for "SM01.bin"
    for sequence in '1b 5b 35 37 33 39 39 75' '1b 5b 32 30 30 7e' '1b 4f 5a' \
      '1b 5d 31 31 3b 72 67 62 3a 30 2f 30 2f 30 07' '1b 1b 5b 31 3b 33 43'; do
      # shellcheck disable=SC2086 # one hexadecimal byte per word
      keys -H $sequence
    done
    keys Down
    wait_for "Flash Utility V1.051 ---------"
    screen | grep -qF "AB10-AB1Z ACME" && fail "the combo box did not move on"
    screen | grep -qE '57399u|200~|11;rgb|1;3C' && fail "a sequence was typed"
    screen | grep -qE '^  --------- -- +\[v\]$' || fail "the combo box's text changed"
    keys F10
    finished 0
    restored
    ;;

  long-control-string)
    # A title string (OSC) of 300 digits and a "y" that never ends is dropped
    # whole, the "y" with it: it cannot answer the warning.
    prepare flasher
    start xterm ./SM01.EXE
    wait_for "Do you wish to continue?"
    # shellcheck disable=SC2046 # one hexadecimal byte per word
    keys -H 1b 5d 32 3b $(printf '31 %.0s' $(seq 300)) 79
    sleep 0.5
    screen | grep -qF "Do you wish to continue?" || fail "the string's tail answered the warning"
    keys n
    finished 0
    restored
    ;;

  utf8-names)
    # In a UTF-8 locale names are drawn as they are, controls as '?', and a
    # name of wide characters stops at the list's frame.
    prepare
    wide=$(printf '日%.0s' $(seq 40))
    for name in 'Ä-x.bin' 'Ö-x.bin' '日本-x.bin' $'\e[31mred.bin' "$wide.bin"; do
      : > "$work/$name"
    done
    start xterm-256color ./flash
    wait_for "SM01.bin"
    keys F4 Down Enter  # the model whose mask is *.bin
    wait_for "Ä-x.bin"
    screen | grep -qF "Ö-x.bin" || fail "Ö-x.bin is not drawn as such"
    screen | grep -qF "日本-x.bin" || fail "a name of wide characters is not drawn"
    screen | grep -qF "?[31mred.bin" || fail "an escape byte was not replaced"
    screen | grep -qE '^  │ (日)+ +│$' || fail "a wide name overran the list's frame"
    keys F10
    finished 0
    restored
    ;;

  small-box)
    # At 40x12 the flasher's warning is taller than the screen: it scrolls,
    # and Enter shows the next page until its last line has been on the
    # screen; only then does Enter mean Yes.
    prepare flasher
    PANE_COLUMNS=40 PANE_ROWS=12 start xterm ./SM01.EXE
    wait_for "Warning"
    wait_for "more: Down"
    screen | grep -qF "Do you wish to continue?" && fail "the whole warning fitted at 40x12"
    keys Enter
    wait_for "Do you wish to continue?"
    screen | grep -qF "[ Yes ]" || fail "the first Enter answered the warning"
    screen | grep -qF "more: Up" || fail "no mark for the text above"
    keys PPage PPage
    wait_for "WARNING:"
    keys NPage NPage
    wait_for "Don't turn off the system"
    keys Enter
    # No drive here: the error box, too tall as well, ends with the reason.
    wait_for "Error"
    wait_for "more: Down"
    keys Enter
    wait_for "Can't find ATAPI Drive !"
    keys Enter
    finished 0
    restored
    ;;

  three-rows)
    # Three rows leave no room for any line of the warning: the box asks for
    # a larger terminal and Yes waits; once the terminal is larger, Yes works.
    prepare flasher
    PANE_ROWS=3 start xterm ./SM01.EXE
    wait_for "Enlarge the terminal"
    keys y Enter
    sleep 0.3
    screen | grep -qF "Enlarge the terminal" || fail "the box was answered unseen"
    tm resize-window -t "$pane" -x 80 -y 24
    wait_for "Do you wish to continue?"
    keys y
    wait_for "Can't find ATAPI Drive !"
    keys Enter
    finished 0
    restored
    ;;

  declined-warning)
    prepare flasher
    start xterm-256color ./SM01.EXE
    wait_for "Warning"
    wait_for "Do you wish to continue?"
    wait_for "[ Yes ]   [ No ]"
    keys n
    finished 0
    restored
    ;;

  quit-at-start-up)
    # No drive on this machine: the error box, then the quit request.
    prepare flasher
    start xterm ./SM01.EXE
    wait_for "Do you wish to continue?"
    keys y
    wait_for "Can't find ATAPI Drive !"
    wait_for "Error"
    keys Escape
    finished 0
    restored
    ;;

  end-of-input)
    # The terminal goes away under a program that ignores the hang-up (as
    # under nohup): the warning box counts it as No and the program ends.
    prepare flasher
    tm new-session -d -x 80 -y 24 -s "$pane" \
      "cd '$work' && trap '' HUP && env TERM=xterm ./SM01.EXE; echo \$? > rc.part; mv rc.part rc; sleep 600"
    wait_for "Do you wish to continue?"
    tm kill-server
    finished 0
    ;;

  signals)
    # Every signal whose default action ends the program gives the terminal
    # back first, whether someone sends it or a fault raises it.
    prepare flasher
    for signal in INT TERM HUP QUIT SEGV ABRT PIPE USR1 USR2 ALRM XCPU XFSZ VTALRM PROF \
      SYS TRAP IO PWR RTMIN RTMAX; do
      rm -f "$work/rc"
      # A server of its own for each signal: a new session can otherwise reach
      # the server that kill-server has only begun to stop.
      socket="flash-terminal-$$-$signal"
      start screen ./SM01.EXE
      wait_for "Do you wish to continue?"
      kill -s "$signal" "$(program_pid)"
      finished $((128 + $(kill -l "$signal")))
      restored
      tm kill-server
    done
    ;;

  resize)
    # Smaller than the window, then larger: drawn clipped, then in full, and
    # the keys still work.
    prepare
    start linux ./flash
    wait_for "SM01.bin"
    tm resize-window -t "$pane" -x 40 -y 12
    wait_for "Select Model:"
    [ "$(screen | wc -l)" -le 12 ] || fail "not redrawn at 40x12"
    tm resize-window -t "$pane" -x 20 -y 5
    tm resize-window -t "$pane" -x 100 -y 30
    wait_for "F10/Ctrl-Q quit"
    [ "$(screen | sed -n 30p | grep -c 'F10/Ctrl-Q quit')" = 1 ] || fail "not redrawn at 100x30"
    keys Tab Down Enter Tab Enter
    wait_for "Build SM01.EXE complete!"
    keys C-q
    finished 0
    restored
    ;;

  flash)
    prepare flasher
    population
    start_flasher xterm-256color
    flash_from_the_keyboard
    wait_for "The system needs to be restarted for the changes to take effect ?"
    screen | grep -qF "Flash Completed." || fail "no completion in the status line"
    screen | grep -qF "100%" || fail "the bar is not full at the end"
    screen | grep -qF "Busy" || fail "no busy mark while the sequence runs"
    keys n
    wait_gone "The system needs to be restarted"
    # The drive's line shows its new revision; the bar is empty again.
    wait_for "DVD-ROM DVD-616 AB15"
    screen | grep -qF " 0% " || fail "the bar was not emptied"
    screen | grep -qF "Busy" && fail "still busy after the sequence"
    keys F10
    finished 0
    restored
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    ;;

  write-failure)
    # The second image piece is refused: its box, then the status line.
    prepare flasher
    population 'fault opcode 3B control 00 occurrence 2 sense 03 0C 00'
    start_flasher linux
    flash_from_the_keyboard
    wait_for "Write Buffer> 03 0C 00"
    keys Enter
    wait_for "Write BIN to drive's DRAM... , Fail!"
    screen | grep -qF "DVD-ROM DVD-616 AB10" || fail "the drive's line changed"
    keys F10
    finished 0
    restored
    ;;

  resize-during-flash)
    # The readiness wait (about three seconds) is under way when the
    # terminal grows; the sequence goes on and is drawn at the new size.
    prepare flasher
    population 'ready-after 100'
    start_flasher screen
    flash_from_the_keyboard
    wait_gone "Update Firmware"
    tm resize-window -t "$pane" -x 100 -y 30
    wait_for "The system needs to be restarted" 30
    screen | grep -qF "Flash Completed." || fail "the flash did not complete"
    [ "$(screen | sed -n 30p | grep -c 'F10/Ctrl-Q quit')" = 1 ] || fail "not drawn at 100x30"
    keys n
    keys F10
    finished 0
    restored
    ;;

  keys-typed-during-flash)
    # Keys pressed while the sequence runs must not answer the restart
    # question that comes at its end.
    prepare flasher
    population 'ready-after 60'
    start_flasher xterm
    flash_from_the_keyboard
    wait_gone "Update Firmware"
    keys y Enter
    wait_for "The system needs to be restarted" 30
    sleep 0.5
    screen | grep -qF "The system needs to be restarted" || fail "the question was answered"
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    keys n
    wait_gone "The system needs to be restarted"
    keys F10
    finished 0
    restored
    ;;

  keys-typed-during-flash-console)
    # On a terminal without cursor addressing the console front-end reads
    # the terminal's lines: one typed while the sequence runs is thrown away
    # when the restart question appears, so it cannot answer it.
    prepare flasher
    population 'ready-after 100'
    start_flasher dumb
    wait_for "| Do you wish to continue?"
    keys yes Enter press Enter
    wait_for "| Update Firmware AB10 to SM01 ?"
    keys yes Enter
    sleep 1
    keys yes Enter
    wait_for "| The system needs to be restarted for the changes to take effect ?" 30
    sleep 0.5
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    keys no Enter close Enter
    finished 0
    restored
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    ;;

  terminal-lost-during-flash)
    # The terminal closes while the drive programs its flash: the program
    # goes on until the sequence has ended, then ends, restart not offered.
    prepare flasher
    population 'fault opcode 3B control 80 completes-late 3000'
    start_flasher xterm
    flash_from_the_keyboard
    wait_for "Flash is in progress"
    [ "$(flash_starts)" = 0 ] || fail "the flash-start command had already completed"
    pid=$(program_pid)
    tm kill-server
    until_gone "$pid"
    [ "$(flash_starts)" = 1 ] || fail "the flash-start command was cut short"
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    ;;

  stop-during-flash)
    # A stop sent while the drive programs its flash waits for the sequence
    # to end; the program then stops with the terminal given back, and once
    # continued (fg, by a shell with job control: a stop signal stops only a
    # process group that a shell of the session can continue) it asks the
    # restart question.
    prepare flasher
    population 'fault opcode 3B control 80 completes-late 3000'
    tm new-session -d -x 80 -y 24 -s "$pane" \
      "cd '$work' && stty -g > stty.before && bash -c 'set -m
       env TERM=xterm LANG=C.UTF-8 bash \"\$0\" --transcript transcript.log --log restarts.log \
         drives.txt -- ./SM01.EXE
       [ \$? = 148 ] || exit
       : > stopped; until [ -e go ]; do sleep 0.1; done; fg' '$WITH_SIM'; \
       rc=\$?; stty -g > stty.after; echo \$rc > rc.part; mv rc.part rc; exec sleep 600"
    flash_from_the_keyboard
    wait_for "Flash is in progress"
    [ "$(flash_starts)" = 0 ] || fail "the flash-start command had already completed"
    # The program is the job shell's child; other cases may run a SM01.EXE
    # of their own meanwhile, so it is told by its directory.
    pid=
    for candidate in $(pgrep -x SM01.EXE || true); do
      [ "$(readlink "/proc/$candidate/cwd")" != "$work" ] || pid=$candidate
    done
    [ -n "$pid" ] || fail "no program found"
    kill -s TSTP "$pid"
    deadline=$((SECONDS + 30))
    until [ -e "$work/stopped" ]; do
      [ "$SECONDS" -lt "$deadline" ] || fail "the program never stopped"
      sleep 0.1
    done
    [ "$(flash_starts)" = 1 ] || fail "it stopped before the flash-start command completed"
    [ "$(tm display -p -t "$pane" '#{alternate_on}')" = 0 ] ||
      fail "the window stayed on the terminal while the program was stopped"
    : > "$work/go"
    wait_for "The system needs to be restarted for the changes to take effect ?"
    screen | grep -qF "Flash Completed." || fail "not drawn afresh once continued"
    keys n
    wait_gone "The system needs to be restarted"
    keys F10
    finished 0
    restored
    [ ! -s "$work/restarts.log" ] || fail "a restart was requested: $(cat "$work/restarts.log")"
    ;;

  keys-in-cooked-console)
    # A terminal without a terminfo entry gets the console front-end, in the
    # terminal's cooked mode: Ctrl-C, Ctrl-\ and Ctrl-Z while the drive
    # programs its flash wait for the sequence to end; then Ctrl-C ends the
    # program without the restart question.
    prepare flasher
    population 'fault opcode 3B control 80 completes-late 3000'
    # The keys reach the shell around the program too: it catches them (so
    # the program still gets their default actions) and reports the exit.
    tm new-session -d -x 80 -y 24 -s "$pane" \
      "cd '$work' && trap : INT QUIT TSTP && stty -g > stty.before && \
       env TERM=flash-test-unknown-terminal LANG=C.UTF-8 bash '$WITH_SIM' \
         --transcript transcript.log --log restarts.log drives.txt -- ./SM01.EXE; \
       rc=\$?; stty -g > stty.after; echo \$rc > rc.part; mv rc.part rc; exec sleep 600"
    wait_for "| Do you wish to continue?"
    keys yes Enter press Enter
    wait_for "| Update Firmware AB10 to SM01 ?"
    keys yes Enter
    wait_for "Flash is in progress"
    [ "$(flash_starts)" = 0 ] || fail "the flash-start command had already completed"
    keys C-c 'C-\' C-z
    finished 130
    [ "$(flash_starts)" = 1 ] || fail "the flash-start command was cut short"
    screen | grep -qF "status: Flash Completed." || fail "the outcome was not shown"
    screen | grep -qF "The system needs to be restarted" && fail "the restart was offered"
    restored
    ;;

  *)
    echo "unknown case $name" >&2
    exit 2
    ;;
esac
