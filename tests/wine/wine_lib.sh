# shellcheck shell=bash
# Sourced by every script that runs the Windows programs under Wine
# (scripts/wine-run.sh, tests/wine/*.sh, tests/win32/*.sh): which Wine runs
# an executable, the prefix it runs in, registry values, and the small
# fail/expect vocabulary of the test scripts.

# The exit code that says "not run here" (ctest's SKIP_RETURN_CODE).
WINE_SKIP_EXIT_CODE=77
WINE_NO_32BIT_REASON="this kernel runs no 32-bit programs (a 32-bit probe failed to start)"
# What Debian's wine32:i386 and wine64 install.
WINE_LOADER_32=/usr/lib/wine/wine
WINE_LOADER_64=/usr/lib/wine/wine64
# Stand-ins for what a kernel without 32-bit support cannot start.
WINE_NO_32BIT_SHIMS=$(cd "$(dirname "${BASH_SOURCE[0]}")/no-32bit-kernel" && pwd)

# wine_exe_bits FILE: prints 32 or 64, the width of a Windows executable (PE
# machine field); fails for anything else.
wine_exe_bits() {
  local pe machine
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  [ -n "$pe" ] || return 1
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
  esac
}

# Whether this kernel starts 32-bit x86 programs at all (it may be built
# without IA-32 emulation, or have it switched off). The probe is the
# smallest such program, written byte by byte so that checking needs no
# 32-bit compiler or library: an ELF header, one loadable segment and
# "mov eax, 1; mov ebx, 42; int 80h" (exit with status 42).
# WINE_KERNEL_RUNS_32BIT=no rehearses such a machine.
wine_kernel_runs_32bit() {
  if [ -z "${WINE_KERNEL_RUNS_32BIT:-}" ]; then
    local probe status=0
    probe=$(mktemp "${TMPDIR:-/tmp}/flash-x86-probe.XXXXXX")
    printf '%b' \
      '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
      '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
      '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
      '\x00\x00\x00\x00' \
      '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
      '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
      '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    if [ "$status" = 42 ]; then WINE_KERNEL_RUNS_32BIT=yes; else WINE_KERNEL_RUNS_32BIT=no; fi
    export WINE_KERNEL_RUNS_32BIT
  fi
  [ "$WINE_KERNEL_RUNS_32BIT" = yes ] && return 0
  # On such a kernel a bare `wine` (Debian's /usr/bin/wine starts the 32-bit
  # loader first once wine32 is installed) cannot start anything. Every run
  # here takes its loader from wine_use; a `wine` that fails as that kernel
  # makes it fail, first on PATH, shows a call that does not, on every
  # machine, the rehearsal included.
  case ":$PATH:" in
    *":$WINE_NO_32BIT_SHIMS:"*) ;;
    *) export PATH="$WINE_NO_32BIT_SHIMS:$PATH" ;;
  esac
  return 1
}

# wine_use BITS: chooses the Wine loader for executables of that width and
# the prefix architecture that goes with it. For 32 bits, returns
# $WINE_SKIP_EXIT_CODE with $wine_skip_reason set when this machine cannot
# run such programs. Fails with a hint when that loader is missing. Sets
# WINEARCH, WINELOADER and the array wine_command; every run goes through
# that loader itself, never through the `wine` on PATH.
wine_use() {
  wine_skip_reason=
  local loader package
  if [ "$1" = 32 ]; then
    if ! wine_kernel_runs_32bit; then
      wine_skip_reason=$WINE_NO_32BIT_REASON
      return "$WINE_SKIP_EXIT_CODE"
    fi
    # The Windows systems the 32-bit program is made for are 32-bit ones.
    export WINEARCH=win32
    loader=$WINE_LOADER_32 package="wine32:i386 (after dpkg --add-architecture i386)"
  else
    export WINEARCH=win64
    loader=$WINE_LOADER_64 package=wine64
    wine_kernel_runs_32bit || true  # puts the failing `wine` first on PATH where it cannot
  fi
  if [ ! -x "$loader" ]; then
    echo "FAIL: the $1-bit Wine ($loader) is missing: run scripts/install-deps.sh --windows" \
      "(apt-get install $package)" >&2
    return 1
  fi
  # Wine starts the prefix's other processes through WINELOADER.
  export WINELOADER=$loader
  wine_command=("$loader")
}

# wine_use_for EXE: wine_use for that executable's width.
wine_use_for() {
  local bits
  bits=$(wine_exe_bits "$1") || {
    echo "FAIL: $1 is not a 32-bit or 64-bit Windows executable" >&2
    return 1
  }
  wine_use "$bits"
}

# wine_use_or_skip PROGRAM.exe WHAT: wine_use_for PROGRAM; where this machine
# cannot run a program of that width, says why WHAT is not run and ends the
# script as skipped; any other failure ends it with that failure's status.
wine_use_or_skip() {
  local status=0
  wine_use_for "$1" || status=$?
  [ "$status" != "$WINE_SKIP_EXIT_CODE" ] || wine_skip "$2"
  [ "$status" = 0 ] || exit "$status"
}

# wine WORDS...: runs the chosen Wine (every script calls it by this name);
# wine_timeout SECONDS WORDS...: the same, ended after that many seconds.
wine_command=()
wine_chosen() {
  [ ${#wine_command[@]} -gt 0 ] && return
  echo "FAIL: no Wine chosen (wine_use was not called)" >&2
  return 1
}
wine() { wine_chosen && "${wine_command[@]}" "$@"; }
wine_timeout() {
  local limit=$1
  shift
  wine_chosen || return
  timeout "$limit" "${wine_command[@]}" "$@"
}

# The environment every Wine process of the tests shares: no messages, and no
# downloads of Wine's Mono or Gecko (no network for them, and not needed).
# wine_environment [EXTRA_OVERRIDES]
wine_environment() {
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=${1:+;$1}"
}

# The stamp a ready prefix carries: the Wine and the width it was made with.
# A prefix made before wine32 was installed cannot start programs afterwards,
# so a prefix whose stamp differs is made afresh.
wine_prefix_stamp() {
  local wine32=no
  [ ! -x "$WINE_LOADER_32" ] || wine32=yes
  echo "$WINEARCH $(wine --version 2>/dev/null) wine32=$wine32 marlett=$(wine_marlett_font)"
}

# Wine draws the caption buttons (minimize, maximize, close) as glyphs of its
# Marlett font; Debian's Wine does not load the fonts in its data folder
# (fonts-wine's /usr/share/wine/fonts), so without a copy in the prefix's
# Fonts folder the buttons show as the letters "0 1 r". Prints the font's
# path, or nothing when fonts-wine is not installed.
wine_marlett_font() {
  local font=/usr/share/wine/fonts/marlett.ttf
  [ ! -f "$font" ] || echo "$font"
}

# wine_prefix_make: makes $WINEPREFIX for $WINEARCH unless it is ready, then
# runs the optional set-up command given (once, while the prefix is made).
# Concurrent callers wait for each other.
#   wine_prefix_make [SETUP_COMMAND...]
wine_prefix_make() {
  local stamp marlett
  stamp=$(wine_prefix_stamp)
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ "$(cat "$WINEPREFIX/.flash-ready" 2>/dev/null)" != "$stamp" ]; then
      wineserver -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
      wine wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "FAIL: Wine could not make the prefix $WINEPREFIX" >&2
        exit 1
      fi
      marlett=$(wine_marlett_font)
      [ -z "$marlett" ] || cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
      if [ $# -gt 0 ]; then "$@" || exit 1; fi
      wineserver -w || true
      echo "$stamp" >"$WINEPREFIX/.flash-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Writes a value into the prefix's registry. Right after a prefix is made,
# Wine's first start may still be settling and `wine reg` can fail once; it is
# tried again, and a lasting failure is said. In a prefix with both widths,
# `wine reg` is the 32-bit reg.exe, which writes the 32-bit view: /reg:64
# writes the view that Wine itself and a 64-bit program read.
#   wine_reg_set KEY NAME DATA [TYPE]
wine_reg_set() {
  local try
  for try in 1 2 3 4 5; do
    if wine reg add "$1" /v "$2" ${4:+/t "$4"} /d "$3" /f /reg:64 >/dev/null 2>&1; then
      return 0
    fi
    wineserver -w 2>/dev/null || true
    sleep "$try"
  done
  echo "FAIL: could not set $1\\$2 in the Wine prefix $WINEPREFIX" >&2
  return 1
}

# wine_reg_delete KEY NAME
wine_reg_delete() { wine reg delete "$1" /v "$2" /f /reg:64 >/dev/null 2>&1; }

# The test vocabulary. Each failure is said and counted; wine_finish ends the
# script with the count.
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect FILE LINE: LINE is one whole line of FILE.
expect() { grep -qxF -- "$2" "$1" || fail "$(basename "$1"): no line \"$2\""; }
expect_not() { ! grep -qxF -- "$2" "$1" || fail "$(basename "$1"): unexpected line \"$2\""; }

# wine_console_run DIR NAME TIMEOUT INPUT PROGRAM [ARGS...]: runs PROGRAM in
# DIR with INPUT (printf %b escapes) on its standard input; its output lands
# in DIR/NAME.out with Unix line ends, its standard error in DIR/NAME.err.
# Variables for the program are exported by the caller or set with env.
wine_console_run() {
  local dir=$1 name=$2 limit=$3 input=$4 status=0
  shift 4
  (cd "$dir" && printf '%b' "$input" | wine_timeout "$limit" "$@" >"$name.raw" 2>"$name.err") ||
    status=$?
  tr -d '\r' <"$dir/$name.raw" >"$dir/$name.out" && rm -f "$dir/$name.raw"
  if [ "$status" != 0 ]; then
    fail "$name: the program did not end with exit code 0 (status $status)"
    tr -d '\r' <"$dir/$name.err" | tail -3 >&2
  fi
}

# wine_start_display LOG_DIR: an X display of our own for the windows (Xvfb
# takes the first free number), without a window manager. Sets DISPLAY;
# wine_stop_display ends it.
wine_start_display() {
  local log_dir=$1
  rm -f "$log_dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$log_dir/display" 2>"$log_dir/xvfb.log" &
  wine_display_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$log_dir/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$log_dir/display" ]; then
    echo "FAIL: Xvfb did not start: $(cat "$log_dir/xvfb.log")" >&2
    return 1
  fi
  DISPLAY=:$(head -n1 "$log_dir/display")
  export DISPLAY
}
wine_stop_display() {
  [ -z "${wine_display_pid:-}" ] || kill "$wine_display_pid" 2>/dev/null || true
  wine_display_pid=
}

# Settings of a prefix whose windows are drawn on such a display: no window
# manager runs there, so Wine draws the frames and captions itself.
wine_unmanaged_windows() {
  wine_reg_set 'HKCU\Software\Wine\X11 Driver' Decorated N &&
    wine_reg_set 'HKCU\Software\Wine\X11 Driver' Managed N
}

# wine_skip WHAT: says why WHAT is not run here and ends the script as skipped.
wine_skip() {
  echo "skipped: $1: $wine_skip_reason"
  exit "$WINE_SKIP_EXIT_CODE"
}

# wine_finish WHAT [WHERE]: the summary line and the exit status.
wine_finish() {
  wineserver -k 2>/dev/null || true
  if [ "$failures" -ne 0 ]; then
    echo "$1: $failures failure(s)${2:+; outputs in $2}" >&2
    exit 1
  fi
  echo "$1: all passed"
}
