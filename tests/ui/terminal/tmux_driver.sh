#!/usr/bin/env bash
# Runs the shipped program in a real terminal (a detached tmux pane of its
# own server), types at it and reads its screen. Sourced by the cases.
#
# Needs: FLASH (the built program), SAMPLES (the sample description file and
# image). Every case works in a directory of its own and leaves the server.
set -euo pipefail

work=$(mktemp -d)
socket="flash-terminal-$$"
pane=t

tm() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() {
  tm kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

screen() { tm capture-pane -p -t "$pane"; }

fail() {
  echo "FAIL: $*" >&2
  echo "--- the screen:" >&2
  screen >&2 2>/dev/null || true
  exit 1
}

# wait_for TEXT [SECONDS]: until TEXT is on the screen.
wait_for() {
  local deadline=$((SECONDS + ${2:-15}))
  until screen | grep -qF -- "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "\"$1\" never appeared"
    sleep 0.05
  done
}

# wait_gone TEXT [SECONDS]: until TEXT has left the screen.
wait_gone() {
  local deadline=$((SECONDS + ${2:-15}))
  while screen | grep -qF -- "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "\"$1\" never went away"
    sleep 0.05
  done
}

keys() { tm send-keys -t "$pane" "$@"; }

# The sample directory a user would have: the program, its description file,
# the image; with `flasher`, also SM01.EXE built through the console.
prepare() {
  cp "$FLASH" "$work/flash"
  cp "$SAMPLES/flash.INI" "$SAMPLES/SM01.bin" "$work/"
  if [ "${1:-}" = flasher ]; then
    (cd "$work" && printf 'click SM01.bin\npress\nclose\n' | ./flash >/dev/null)
    [ -x "$work/SM01.EXE" ] || fail "the console could not build SM01.EXE"
  fi
}

# start TERM COMMAND...: runs COMMAND in an 80x24 pane (or the size in
# PANE_COLUMNS and PANE_ROWS) with that TERM. The
# shell around it keeps the terminal's settings from before and after, and
# the exit code (written last, whole), for `finished` and `restored`. The
# process that becomes COMMAND writes its id first, for `program_pid`.
start() {
  local term=$1
  shift
  local command="$*"
  rm -f "$work/program.pid"
  tm new-session -d -x "${PANE_COLUMNS:-80}" -y "${PANE_ROWS:-24}" -s "$pane" \
    "cd '$work' && stty -g > stty.before && \
     sh -c 'echo \$\$ > program.pid.part && mv program.pid.part program.pid && exec \"\$0\" \"\$@\"' \
       env TERM=$term LANG=C.UTF-8 $command; \
     rc=\$?; stty -g > stty.after; echo \$rc > rc.part; mv rc.part rc; exec sleep 600"
}

# The program's process id, as it wrote it when it started (a search of the
# process tree can miss a program that a busy machine has only begun to start).
program_pid() {
  local deadline=$((SECONDS + 15))
  until [ -s "$work/program.pid" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the program never started"
    sleep 0.05
  done
  cat "$work/program.pid"
}

# finished [CODE]: until the program has ended, with that exit code (0).
finished() {
  local deadline=$((SECONDS + 15))
  until [ -s "$work/rc" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the program did not end"
    sleep 0.05
  done
  local rc
  rc=$(cat "$work/rc")
  [ "$rc" = "${1:-0}" ] || fail "exit code $rc, expected ${1:-0}"
}

# restored: the terminal is as the shell left it: its settings, the normal
# screen, a visible cursor, no mouse reporting, the cursor keys in normal mode.
restored() {
  cmp -s "$work/stty.before" "$work/stty.after" ||
    fail "terminal settings changed: $(cat "$work/stty.before") -> $(cat "$work/stty.after")"
  local modes
  modes=$(tm display -p -t "$pane" \
    '#{alternate_on} #{cursor_flag} #{mouse_any_flag} #{keypad_cursor_flag}')
  [ "$modes" = "0 1 0 0" ] ||
    fail "terminal modes not restored (alternate screen, cursor, mouse, keypad): $modes"
}
