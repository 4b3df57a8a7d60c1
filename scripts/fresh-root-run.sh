#!/usr/bin/env bash
# Runs the README's two commands as a new user would, on a Debian 12 machine
# that has never seen the project: a minimal root made with debootstrap (its
# packages: Debian's required ones, apt and git), into which the commit under
# test is cloned. A package that a script uses but does not install fails
# here, where a machine with packages left over from earlier work hides it.
#
#   scripts/fresh-root-run.sh [COMMAND...]
#
# Each COMMAND runs in the clone inside the root, in turn, timed (default: the
# main job, then the test command). Needs root: debootstrap, chroot and bind mounts. The root
# lives in $FRESH_ROOT_DIR (default /var/tmp) and is unmounted and removed
# afterwards, whatever happened; FRESH_ROOT_KEEP=yes keeps it for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
commands=("$@")
[ $# -gt 0 ] || commands=("bash scripts/demo.sh" "bash scripts/run-tests.sh")
suite=bookworm

[ "$(id -u)" -eq 0 ] || {
  echo "Please run as root: debootstrap, chroot and mount need it" >&2
  exit 1
}
if ! command -v debootstrap >/dev/null; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
fi

# The machine's own Debian mirror, as its apt configuration names it: the
# first source of the suite's main component, in the deb822 form
# (sources.list.d/*.sources) or the one-line form (sources.list, *.list).
mirror_of_this_machine() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (deb && uri != "" && (" " suites " ") ~ (" " suite " ") && (" " comps " ") ~ / main /) {
          print uri; found = 1; exit
        }
        deb = 0; uri = ""; suites = ""; comps = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { deb = ($0 ~ /[ \t]deb([ \t]|$)/) }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { $1 = ""; suites = $0 }
      /^Components:/ { $1 = ""; comps = $0 }
      END { if (!found) flush() }' "$f"
  done
  { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    awk -v suite="$suite" '$1 == "deb" {
      i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == suite) for (j = i + 2; j <= NF; j++) if ($j == "main") { print $i; exit }
    }'
}
mirror=$(mirror_of_this_machine | head -n 1) || true
[ -n "$mirror" ] || {
  echo "No Debian source for $suite main in this machine's apt configuration" >&2
  exit 1
}

root=$(mktemp -d "${FRESH_ROOT_DIR:-/var/tmp}/flash-fresh-root.XXXXXX")
chmod 0755 "$root"  # the root's "/": every user of the machine passes through it
mounts=(proc sys dev dev/pts dev/shm)

# Whatever still runs inside the root (a service a package started, a test's
# leftover) would keep its mounts busy.
stop_processes_in_root() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" != "$root" ] || kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}

cleanup() {
  local status=$? i
  stop_processes_in_root
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    if mountpoint -q "$root/${mounts[i]}"; then
      umount "$root/${mounts[i]}" 2>/dev/null || umount -l "$root/${mounts[i]}"
    fi
  done
  if [ "${FRESH_ROOT_KEEP:-}" = yes ]; then
    echo "The root is kept in $root"
  elif findmnt -rn -o TARGET | grep -q "^$root"; then
    # Never remove a tree through which the machine's own /dev or /sys shows.
    echo "Something is still mounted under $root; it is left in place" >&2
    status=1
  else
    rm -rf --one-file-system "$root"
  fi
  rm -f "$root.debootstrap.log"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

started=$SECONDS
step_started=$SECONDS
took() {
  echo "== $1 took $((SECONDS - step_started)) s"
  step_started=$SECONDS
}

echo "== A minimal Debian 12 root in $root, from $mirror"
includes=git
case $mirror in https:*) includes+=,ca-certificates ;; esac
debootstrap --variant=minbase --include="$includes" "$suite" "$root" "$mirror" \
  >"$root.debootstrap.log" 2>&1 || {
  tail -20 "$root.debootstrap.log" >&2
  exit 1
}
took debootstrap

# The machine's apt sources and its fetch settings (Acquire::...), so the root
# reaches the packages this machine reaches, and its name resolution.
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && cp "$f" "$root$f"
done
for f in /etc/apt/apt.conf.d/*; do
  [ -f "$f" ] && grep -q '^[[:space:]]*Acquire::' "$f" && cp "$f" "$root$f"
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A root is not a booted machine: packages must not start services in it.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"

mount -t proc proc "$root/proc"
for m in sys dev dev/pts dev/shm; do
  mount --bind "/$m" "$root/$m"
done

git clone -q "$repo" "$root/root/atapi-flash"
git -C "$root/root/atapi-flash" checkout -q "$(git rev-parse HEAD)"

# As a new user's shell would start them: root's home, a plain environment,
# no terminal.
for command in "${commands[@]}"; do
  echo "== In the root: $command"
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/atapi-flash && $command" </dev/null
  took "$command"
done
echo "== the whole run took $((SECONDS - started)) s"
