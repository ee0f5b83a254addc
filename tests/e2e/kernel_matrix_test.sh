#!/usr/bin/env bash
# The file-system matrix (fs_matrix_test.sh) on the kernel's own drivers,
# which this machine's kernel may lack: Debian's kernels booted under qemu,
# each running the matrix over the kinds of its row below, both machines at
# once. A guest sees this machine's files read-only through 9p, under a RAM
# overlay, so it runs the very binary, scripts and tools found here.
# KVM where a guest boots under it (a short probe says), else software
# emulation (TCG).
# Usage: kernel_matrix_test.sh path/to/script-corvaldo [RELEASE:KIND,KIND ...]
# (the rows to run instead of the table's). The kernels come from
# `scripts/deps kernels`, under $CORVALDO_KERNELS. KERNEL_MATRIX_ACCEL=kvm|tcg
# skips the probe; FS_MATRIX_SCALE (0.02: a 0.2 MB cup script and a 0.45 MB
# country file) and FS_MATRIX_KILLS (3) are smaller here than on the host,
# for emulated machines on two cores; KERNEL_MATRIX_TIMEOUT bounds each
# machine (900 s). Exit 77 (skip) only without qemu.
set -uo pipefail
exe=$(readlink -f "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
kernels=${CORVALDO_KERNELS:-/var/cache/script-corvaldo/kernels}
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"

# release whose linux-image-amd64 boots | the matrix's kinds there
table=(
  "bookworm|vfat exfat-kernel ext4-casefold ext4-casefold-user"
  "bookworm-backports|ntfs3 ntfs3-windows-names ntfs3-nocase ntfs3-auto exfat-auto vfat-auto"
)
if [ $# -gt 0 ]; then
  table=()
  for row in "$@"; do table+=("${row%%:*}|${row#*:}"); done
  table=("${table[@]//,/ }")
fi
scale=${FS_MATRIX_SCALE:-0.02}
kills=${FS_MATRIX_KILLS:-3}
limit=${KERNEL_MATRIX_TIMEOUT:-900}  # seconds a machine may run

qemu=$(command -v qemu-system-x86_64) ||
  { echo "SKIP: no qemu-system-x86_64 (scripts/deps kernels installs it)"; exit 77; }
for tool in /bin/busybox cpio modprobe; do
  command -v "$tool" >/dev/null || { echo "FAIL: no $tool (scripts/deps kernels)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The modules a kernel needs before it has a root: virtio, 9p, overlay
# (where they are not built in), each after what it depends on.
early_modules() {  # early_modules MODULES_DIR
  local dir=$1 name
  declare -A seen=()
  visit() {
    local path=$1 dep deps=()
    [ -n "${seen[$path]:-}" ] && return
    seen[$path]=1
    read -ra deps < <(awk -v p="$path:" '$1 == p { $1 = ""; print; exit }' "$dir/modules.dep")
    for dep in "${deps[@]}"; do visit "$dep"; done
    echo "$path"
  }
  for name in virtio_pci 9pnet_virtio 9p overlay; do
    local path
    path=$(awk -F: -v n="$name" '{ m = $1; sub(/.*\//, "", m); sub(/\.ko.*/, "", m)
      gsub(/-/, "_", m) } m == n { print $1; exit }' "$dir/modules.dep")
    [ -n "$path" ] && visit "$path"
  done
}

# initramfs RELEASE OUT: busybox, /init and the early modules, uncompressed
# (busybox's insmod reads plain ones only).
initramfs() {
  local dir=$kernels/$1/modules root=$work/initramfs.$1 path n=0 name
  rm -rf "$root"
  mkdir -p "$root/bin" "$root/lib/modules"
  cp /bin/busybox "$root/bin/busybox"
  cp "$here/kernel_vm_init.sh" "$root/init"
  chmod 755 "$root/init"
  : >"$root/modules"
  for path in $(early_modules "$dir"); do
    n=$((n + 1))
    name=$n-$(basename "${path%%.ko*}").ko
    case $path in
      *.xz) xz -dc "$dir/$path" ;;
      *.zst) zstd -qdc "$dir/$path" ;;
      *.gz) gzip -dc "$dir/$path" ;;
      *) cat "$dir/$path" ;;
    esac >"$root/lib/modules/$name" || return 1
    echo "$name" >>"$root/modules"
  done
  (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$2"
}

# boot SECONDS ACCEL RELEASE JOB [probe]: one machine, its console on
# stdout, stopped after SECONDS; the shell becomes it (a kill reaches qemu).
# Under TCG the plain qemu64 model runs this code several times faster than
# "max", whose extensions glibc then uses; a test machine needs no
# mitigations either.
boot() {
  local accel=$2 release=$3 job=$4 cpu=qemu64
  [ "$accel" = kvm ] && cpu=host
  exec timeout "$1" "$qemu" -accel "$accel" -cpu "$cpu" -m 1536 -smp 1 -nodefaults -no-reboot \
    -display none -monitor none -serial stdio \
    -kernel "$kernels/$release/vmlinuz" -initrd "$work/initrd.$release" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off ${5:+corvaldo.probe}" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$job,mount_tag=job,security_model=none" </dev/null
}

releases=()
for row in "${table[@]}"; do
  release=${row%%|*}
  [ -f "$kernels/$release/vmlinuz" ] ||
    { echo "FAIL: no $release kernel in $kernels (scripts/deps kernels)"; exit 1; }
  initramfs "$release" "$work/initrd.$release" ||
    { echo "FAIL: no initramfs for $release"; exit 1; }
  releases+=("$release")
done

# KVM only where a guest comes up under it in good time.
accel=${KERNEL_MATRIX_ACCEL:-}
if [ -z "$accel" ]; then
  accel=tcg
  why="no usable /dev/kvm"
  if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    mkdir "$work/probe"
    { (boot 20 kvm "${releases[0]}" "$work/probe" probe) >"$work/probe.log" 2>&1; } 2>/dev/null
    probed=$?
    if grep -q "corvaldo-vm: up" "$work/probe.log"; then
      accel=kvm
    elif [ "$probed" -eq 124 ]; then
      why="a guest did not come up under KVM within 20 s"
    else
      why="qemu ended under KVM ($probed): $(grep -v '^$' "$work/probe.log" | tail -1)"
    fi
  fi
  if [ "$accel" = kvm ]; then
    echo "kernel matrix: KVM"
  else
    echo "kernel matrix: software emulation (TCG), since $why"
  fi
else
  echo "kernel matrix: $accel, as KERNEL_MATRIX_ACCEL says"
fi

# Both machines at once, each with its job folder.
started=$SECONDS
for row in "${table[@]}"; do
  release=${row%%|*}
  kinds=${row#*|}
  job=$work/job.$release
  mkdir "$job"
  printf 'VM_MODULES=%q\n' "$(readlink -f "$kernels/$release/modules")" >"$job/vm.conf"
  # The host's folders the job reads, seen at their own paths even where the
  # guest's own /tmp or /run would hide them (a clone under /tmp).
  printf '%s\n' "$(cd "$here/../.." && pwd -P)" "$(dirname "$exe")" >"$job/keep.list"
  {
    echo 'modprobe -a loop fuse || exit 1'
    printf 'export FS_MATRIX_SCALE=%q FS_MATRIX_KILLS=%q\n' "$scale" "$kills"
    # shellcheck disable=SC2016 # a line of the guest's script, as it stands
    echo 'echo "kernel $(uname -r)"'
    printf 'exec bash %q %q %s\n' "$here/fs_matrix_test.sh" "$exe" "$kinds"
  } >"$job/run.sh"
  boot "$limit" "$accel" "$release" "$job" >"$work/console.$release" 2>&1 &
  pids+=($!)
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}"
done
pids=()
elapsed=$((SECONDS - started))

for row in "${table[@]}"; do
  release=${row%%|*}
  job=$work/job.$release
  echo "===== $release ($(readlink "$kernels/$release")): ${row#*|}"
  if [ -f "$job/out.log" ]; then sed "s/^/$release: /" "$job/out.log"; fi
  rc=$(cat "$job/rc" 2>/dev/null)
  if [ -z "$rc" ]; then
    fail "$release: the machine ended without the matrix's exit code; its console:"
    tail -40 "$work/console.$release"
  else
    check "$release: the matrix passed (exit $rc)" test "$rc" -eq 0
  fi
done
echo "kernel matrix: $accel, both machines done in ${elapsed}s"
summary "kernel matrix"
