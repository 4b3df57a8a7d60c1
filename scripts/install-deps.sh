#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# when any is missing. Needs root (or sudo) only when something is missing.
set -euo pipefail

# --build-only: what building the program needs (libsystemd-dev through
# pkg-config for the lock that keeps the machine awake during a flash);
# --windows: the Windows cross build and its tests under Wine (64-bit Wine
# only: never wine32, whose loader the wine command would then try first);
# otherwise the tests' (python3-dbusmock and dbus for that lock's test).
packages=(g++ cmake libncurses-dev pkg-config libsystemd-dev)
case "${1:-}" in
  --build-only) ;;
  --windows)
    packages+=(libgtest-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 python3 xvfb imagemagick)
    ;;
  *)
    packages+=(libgtest-dev qemu-system-x86 busybox-static cpio xz-utils genisoimage tmux clang
      libfuzzer-14-dev python3-dbusmock dbus man-db)
    ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The real-kernel test fetches Debian's kernel package (it installs nothing),
# so apt's package lists must know it.
lists_stale=false
if [ "${1:-}" != "--build-only" ] && ! apt-cache show linux-image-amd64 >/dev/null 2>&1; then
  lists_stale=true
fi
[ ${#missing[@]} -eq 0 ] && [ "$lists_stale" = false ] && exit 0

[ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "Please run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
[ ${#missing[@]} -eq 0 ] || "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
