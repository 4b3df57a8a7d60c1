#!/bin/bash
# Boots Debian's stock kernel under QEMU with two emulated IDE CD-ROMs, one
# empty and one holding a small ISO 9660 disc that the VM mounts, and runs
# PROBE inside it as root, so the SG_IO transport meets a real kernel
# (libata, sr_mod, the block layer's SG_IO and its exclusive opens) instead
# of a stand-in.
#
# Usage: run_vm.sh PROBE CACHE_DIR
#   PROBE      the in-VM test program; its shared libraries are copied beside it
#   CACHE_DIR  where the kernel and its modules are kept between runs
#
# Exits 0 only when the probe printed the pass marker. Anything else (missing
# tools, no kernel, a VM that never boots or hangs, a probe that crashes) fails
# and prints the VM's console. It installs nothing: scripts/install-deps.sh
# does, and a missing tool fails the test with the command that installs it.
# The kernel package itself is fetched (not installed) into CACHE_DIR.
set -euo pipefail

readonly pass_marker='KERNEL-TEST: PASS'
readonly fail_marker='KERNEL-TEST: FAIL'
# TCG boots this kernel in well under a minute; the margin covers a busy host.
readonly vm_timeout_seconds=300
readonly vm_memory=512M
# Only the storage path the probe needs, and the disc's file system; the
# modules' own dependencies come in with them.
readonly wanted_modules=(ata_piix sr_mod sg isofs)
readonly medium_mount=/mnt/medium

fail() {
  echo "kernel_sg_io: $*" >&2
  exit 1
}

[[ $# -eq 2 ]] || fail "usage: $0 PROBE CACHE_DIR"
probe=$1
cache=$2
[[ -x $probe ]] || fail "no test program at $probe"

readonly install_hint='bash scripts/install-deps.sh'

check_host_tools() {
  local missing=()
  command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
  # The plain busybox package is dynamically linked and useless in an initramfs.
  dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'ok installed' ||
    missing+=(busybox-static)
  command -v cpio >/dev/null || missing+=(cpio)
  command -v xz >/dev/null || missing+=(xz-utils)
  command -v genisoimage >/dev/null || missing+=(genisoimage)
  ((${#missing[@]} == 0)) ||
    fail "missing ${missing[*]}; install with: apt-get install -y ${missing[*]} (or $install_hint)"
}

kernel_package_name() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'
}

# A module's own .modinfo names the modules it needs ("depends=a,b"); the
# package ships no modules.dep, since depmod writes that on installation.
module_depends() {
  tr '\0' '\n' <"$1" | sed -n 's/^depends=//p' | tr ',' ' '
}

# Kernel module file names may spell "_" as "-"; the module names never do.
module_path() {
  local pattern=${1//_/[-_]}
  grep -m1 -E "(^|/)${pattern}\.ko(\.[a-z]+)?$" "$2/modules.order"
}

# Appends a module to load_order after everything it depends on.
order_module() {
  local name=$1 dep
  [[ -n ${ordered[$name]:-} || -n ${builtin[$name]:-} ]] && return
  for dep in ${depends[$name]}; do order_module "$dep"; done
  ordered[$name]=1
  load_order+=("$name")
}

# Leaves the kernel in $kernel_dir: vmlinuz, modules/*.ko (decompressed) and
# load-order (module names, first to load first).
fetch_kernel() {
  local package
  package=$(kernel_package_name)
  [[ -n $package ]] ||
    fail "apt knows no linux-image-amd64; refresh its package lists: apt-get update (or $install_hint)"
  kernel_dir=$cache/$package
  # An entry made for another module list is made again.
  [[ -f $kernel_dir/vmlinuz && -f $kernel_dir/load-order &&
    $(cat "$kernel_dir/wanted" 2>/dev/null) == "${wanted_modules[*]}" ]] && return

  echo "kernel_sg_io: fetching $package"
  mkdir -p "$cache"
  local work deb moddir name path dep
  work=$(mktemp -d "$cache/fetch.XXXXXX")
  (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1) ||
    fail "cannot download $package"
  deb=$(echo "$work"/*.deb)
  mkdir "$work/root" "$work/out" "$work/out/modules"
  unpack() { dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work/root" --wildcards "$@"; }

  unpack './boot/vmlinuz-*' '*/modules.order' '*/modules.builtin' ||
    fail "cannot unpack $deb"
  moddir=$(dirname "$(echo "$work"/root/*lib/modules/*/modules.order)")

  # Unpacks one level of the dependency tree per pass over the package, rather
  # than all 400 MB of drivers at once.
  local -A depends=() builtin=() ordered=() file=()
  local pending=("${wanted_modules[@]}") next wildcards
  while ((${#pending[@]} > 0)); do
    wildcards=()
    for name in "${pending[@]}"; do
      if grep -qE "/${name//_/[-_]}\.ko$" "$moddir/modules.builtin"; then
        builtin[$name]=1
        continue
      fi
      path=$(module_path "$name" "$moddir") || fail "kernel has no module $name"
      file[$name]=$path
      wildcards+=("*/$path*")
    done
    ((${#wildcards[@]} == 0)) && break
    unpack "${wildcards[@]}" || fail "cannot unpack modules from $deb"
    next=()
    for name in "${pending[@]}"; do
      [[ -n ${builtin[$name]:-} ]] && continue
      path=$(echo "$moddir/${file[$name]}"*)
      case $path in
        *.ko) cp "$path" "$work/out/modules/$name.ko" ;;
        *.ko.xz) xz -dc "$path" >"$work/out/modules/$name.ko" ;;
        *) fail "unexpected module file $path" ;;
      esac
      depends[$name]=$(module_depends "$work/out/modules/$name.ko")
      for dep in ${depends[$name]}; do
        [[ -n ${depends[$dep]+known} || -n ${builtin[$dep]:-} || " ${next[*]} " == *" $dep "* ]] ||
          next+=("$dep")
      done
    done
    pending=("${next[@]}")
  done

  load_order=()
  for name in "${wanted_modules[@]}"; do order_module "$name"; done
  printf '%s\n' "${load_order[@]}" >"$work/out/load-order"
  echo "${wanted_modules[*]}" >"$work/out/wanted"
  cp "$work"/root/boot/vmlinuz-* "$work/out/vmlinuz"
  # The rename makes the cache entry appear whole or not at all.
  rm -rf "$kernel_dir"
  mv "$work/out" "$kernel_dir"
  rm -rf "$work"
}

write_init() {
  cat >"$1" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1

finish() {
  echo "\$1"
  poweroff -f
}

for m in \$(cat /modules/load-order); do
  insmod /modules/\$m.ko || finish "$fail_marker insmod \$m"
done
# The SCSI scan of the IDE ports goes on after insmod returns.
n=0
while { [ ! -e /dev/sr0 ] || [ ! -e /dev/sr1 ]; } && [ \$n -lt 30 ]; do
  sleep 1
  n=\$((n + 1))
done
# Only the drive with a disc mounts; the probe finds it in /proc/mounts.
mkdir -p $medium_mount
for node in /dev/sr*; do
  mount -t iso9660 -o ro \$node $medium_mount 2>/dev/null && echo "info \$node mounted on $medium_mount"
done
/bin/probe || finish "$fail_marker probe exited with status \$?"
poweroff -f
EOF
  chmod +x "$1"
}

build_initramfs() {
  local root=$1 image=$2 lib
  mkdir -p "$root"/{bin,dev,proc,sys,modules}
  cp /bin/busybox "$root/bin/busybox"
  cp "$kernel_dir"/modules/*.ko "$kernel_dir/load-order" "$root/modules/"
  cp "$probe" "$root/bin/probe"
  # Shared libraries at the paths the dynamic loader expects, so any build
  # (sanitizers included) runs as it does on the host.
  for lib in $(ldd "$probe" 2>/dev/null | grep -o '/[^ ]*' || true); do
    cp -L --parents "$lib" "$root"
  done
  write_init "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$image"
}

check_host_tools
fetch_kernel

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build_initramfs "$scratch/root" "$scratch/initramfs.gz"
mkdir "$scratch/disc"
echo "a disc for the exclusive-open test" >"$scratch/disc/readme.txt"
genisoimage -quiet -V FLASHTEST -o "$scratch/medium.iso" "$scratch/disc" ||
  fail "cannot make the disc image"

console=$scratch/console.log
status=0
# Index 1 is the primary IDE channel's slave, so the empty drive sits at a
# non-zero target on host 0 and an address with host and target swapped shows
# up; index 2, the secondary channel's master, holds the disc at host 1.
timeout -k 10 "$vm_timeout_seconds" qemu-system-x86_64 \
  -machine pc -accel tcg -m "$vm_memory" \
  -nodefaults -nographic -serial stdio -no-reboot \
  -kernel "$kernel_dir/vmlinuz" -initrd "$scratch/initramfs.gz" \
  -append "console=ttyS0 panic=-1" \
  -drive if=ide,media=cdrom,index=1 \
  -drive if=ide,media=cdrom,index=2,format=raw,file="$scratch/medium.iso" \
  </dev/null >"$console" 2>&1 || status=$?
tr -d '\r' <"$console" >"$console.txt"

if grep -qxF "$pass_marker" "$console.txt" && ! grep -qF "$fail_marker" "$console.txt"; then
  grep -E '^(ok|FAIL|info) ' "$console.txt" || true
  echo "$pass_marker"
  exit 0
fi
echo "kernel_sg_io: no pass marker from the VM (qemu exit status $status); console follows" >&2
cat "$console.txt"
exit 1
