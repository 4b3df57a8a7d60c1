#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# when any is missing. Needs root (or sudo) only when something is missing.
#   install-deps.sh [--build-only | --tests | --windows]...
# --build-only: what building the program needs (libsystemd-dev through
# pkg-config for the lock that keeps the machine awake during a flash);
# --tests (the default): the Linux tests' too; --windows: the Windows cross
# builds and their tests under Wine. Several may be given: the test command
# installs everything before it configures anything, so no check of the
# build sees a machine with fewer packages than the tests have.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make libncurses-dev pkg-config libsystemd-dev)
# Every command the scripts and tests call beyond Debian's required packages
# and the compilers comes from one of these (a minimal debootstrap root has
# none of them; scripts/fresh-root-run.sh proves it).
tests=(libgtest-dev googletest qemu-system-x86 busybox-static cpio xz-utils genisoimage tmux
  procps clang libfuzzer-14-dev clang-format clang-tidy python3 python3-dbusmock dbus man-db)
# wine32 is an i386 package (that architecture is added to dpkg first), and
# the multilib compilers build the 32-bit preload library that 32-bit Wine
# loads: both only where the kernel starts 32-bit programs.
windows=(googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 fonts-wine python3
  xvfb imagemagick)
windows_32bit=(wine32:i386 gcc-multilib g++-multilib)

[ $# -gt 0 ] || set -- --tests
add_i386=false
for set in "$@"; do
  case $set in
    --build-only) ;;
    --tests) packages+=("${tests[@]}") ;;
    --windows)
      packages+=("${windows[@]}")
      # shellcheck source=../tests/wine/wine_lib.sh
      . tests/wine/wine_lib.sh
      if wine_kernel_runs_32bit; then
        packages+=("${windows_32bit[@]}")
        dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
      else
        echo "Not installing ${windows_32bit[*]} (nor adding the i386 architecture):" \
          "$WINE_NO_32BIT_REASON; the 32-bit Windows runs are skipped here."
      fi
      ;;
    *)
      echo "usage: $0 [--build-only | --tests | --windows]..." >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Each package once, in the order first named.
[ ${#missing[@]} -eq 0 ] || mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk '!seen[$0]++')
# The real-kernel test fetches Debian's kernel package (it installs nothing),
# so apt's package lists must know it.
lists_stale=$add_i386
if [ "$*" != --build-only ] && ! apt-cache show linux-image-amd64 >/dev/null 2>&1; then
  lists_stale=true
fi
[ ${#missing[@]} -eq 0 ] && [ "$lists_stale" = false ] && exit 0

[ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    hint="apt-get update && apt-get install -y ${missing[*]}"
    [ "$add_i386" = false ] || hint="dpkg --add-architecture i386 && $hint"
    echo "Please run as root: $hint" >&2
    exit 1
  }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
[ "$add_i386" = false ] || "${sudo_cmd[@]}" dpkg --add-architecture i386
"${sudo_cmd[@]}" apt-get update -q
[ ${#missing[@]} -eq 0 ] || "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
