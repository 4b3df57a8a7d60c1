# Shared by the real-kernel tests: fetching Debian's kernel and the modules
# they need, an initramfs with busybox and the test's programs, and a QEMU run
# under TCG whose console decides the result. Sourced, not run.
#
# The caller sets vm_name (for messages) and, before vm_build_initramfs,
# defines write_init_body FILE, which appends its steps to the init script;
# the init script has already loaded the modules and mounted proc, sys, dev
# and configfs. Steps report through the markers below.

readonly pass_marker='KERNEL-TEST: PASS'
readonly fail_marker='KERNEL-TEST: FAIL'
readonly vm_memory=512M
# One list for every real-kernel test, so they share one cache entry: the
# IDE, SATA (AHCI) and USB (xHCI) storage paths, sr and sg, the disc's file
# system, and the USB gadget stack a drive double is built from (dummy_hcd's
# controller, configfs, FunctionFS). Their own dependencies come in with them.
readonly wanted_modules=(ata_piix ahci xhci_pci usb_storage sr_mod sg isofs
  configfs libcomposite usb_f_fs dummy_hcd)

fail() {
  echo "$vm_name: $*" >&2
  exit 1
}

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

  echo "$vm_name: fetching $package"
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

# The init script's fixed start: busybox, the kernel's file systems, the
# modules; then the caller's steps; then power off whatever happened.
write_init() {
  {
    cat <<EOF
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
mount -t configfs configfs /sys/kernel/config || finish "$fail_marker mount configfs"
EOF
    write_init_body
    echo 'poweroff -f'
  } >"$1"
  chmod +x "$1"
}

# Copies a program into the image at DEST with the shared libraries it loads,
# at the paths the dynamic loader expects, so any build (sanitizers included)
# runs as it does on the host.
add_program() {
  local root=$1 program=$2 dest=$3 lib
  mkdir -p "$root/$(dirname "$dest")"
  cp "$program" "$root/$dest"
  for lib in $(ldd "$program" 2>/dev/null | grep -o '/[^ ]*' || true); do
    cp -L --parents "$lib" "$root"
  done
}

# vm_build_initramfs ROOT IMAGE: ROOT already holds the test's own files.
vm_build_initramfs() {
  local root=$1 image=$2
  mkdir -p "$root"/{bin,dev,proc,sys,modules,tmp}
  cp /bin/busybox "$root/bin/busybox"
  cp "$kernel_dir"/modules/*.ko "$kernel_dir/load-order" "$root/modules/"
  write_init "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$image"
}

# vm_run IMAGE CONSOLE TIMEOUT [QEMU ARGS...]: boots the kernel with IMAGE
# and leaves its console, carriage returns removed, in CONSOLE.txt.
vm_run() {
  local image=$1 console=$2 seconds=$3
  shift 3
  vm_status=0
  timeout -k 10 "$seconds" qemu-system-x86_64 \
    -machine pc -accel tcg -m "$vm_memory" \
    -nodefaults -nographic -serial stdio -no-reboot \
    -kernel "$kernel_dir/vmlinuz" -initrd "$image" \
    -append "console=ttyS0 panic=-1" \
    "$@" </dev/null >"$console" 2>&1 || vm_status=$?
  tr -d '\r' <"$console" >"$console.txt"
}

# Passes when the console holds the pass marker and no failure marker; else
# prints the whole console. Lines starting "ok", "FAIL" or "info" are the
# steps' reports and are shown either way.
vm_verdict() {
  local console=$1
  if grep -qxF "$pass_marker" "$console.txt" && ! grep -qF "$fail_marker" "$console.txt"; then
    grep -E '^(ok|FAIL|info) ' "$console.txt" || true
    echo "$pass_marker"
    return 0
  fi
  echo "$vm_name: no pass marker from the VM (qemu exit status $vm_status); console follows" >&2
  cat "$console.txt"
  return 1
}
