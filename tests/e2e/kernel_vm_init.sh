#!/bin/busybox sh
# /init of the kernel matrix's virtual machines (busybox, in the initramfs
# that kernel_matrix_test.sh packs with the modules listed in /modules).
# Loads them, and then:
#   corvaldo.probe on the command line: says "corvaldo-vm: up" and powers off;
#   else: the host's root (9p tag "host", read-only) under a RAM overlay
#   becomes the root, the host's job folder (tag "job") is mounted at
#   /run/job, and its vm.conf names the kernel's modules folder and the
#   command to run. The command's output and exit code go to the job folder,
#   and the machine powers off.
/bin/busybox mkdir -p /proc /sys /dev
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys

off() {
  sync
  echo o >/proc/sysrq-trigger
  sleep 30
}
die() {
  echo "corvaldo-vm: $*"
  off
}

while read -r module; do
  insmod "/lib/modules/$module" || die "insmod $module failed"
done </modules

grep -qw corvaldo.probe /proc/cmdline && { echo "corvaldo-vm: up"; off; }

mkdir -p /host /job /rw /newroot
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 host /host ||
  die "the host's root cannot be mounted"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 job /job ||
  die "the job folder cannot be mounted"
. /job/vm.conf
mount -t tmpfs -o mode=755 tmpfs /rw
mkdir /rw/upper /rw/work
mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /newroot ||
  die "no overlay over the host's root"
for dir in proc sys dev tmp run; do mkdir -p "/newroot/$dir"; done
mount -t proc proc /newroot/proc
mount -t sysfs sysfs /newroot/sys
mount -t devtmpfs devtmpfs /newroot/dev
ln -s /proc/self/fd /newroot/dev/fd
for fd in 0:stdin 1:stdout 2:stderr; do ln -s "/proc/self/fd/${fd%:*}" "/newroot/dev/${fd#*:}"; done
mount -t tmpfs -o mode=1777 tmpfs /newroot/tmp
mount -t tmpfs -o mode=755 tmpfs /newroot/run
# The host's folders the job reads, where the guest's /tmp and /run hid them.
while IFS= read -r keep; do
  case $keep in
    /tmp/* | /run/*)
      mkdir -p "/newroot$keep" && mount -o bind "/host$keep" "/newroot$keep" ||
        die "the host's $keep cannot be shown"
      ;;
  esac
done </job/keep.list
# The kernel's own modules where its modprobe looks for them.
kernel=$(uname -r)
mkdir -p "/newroot/lib/modules/$kernel" /newroot/run/job
mount -o bind "/host$VM_MODULES" "/newroot/lib/modules/$kernel" || die "no modules at $VM_MODULES"
mount --move /job /newroot/run/job
# Bash as the first process runs the job and powers off when it ends.
exec switch_root /newroot /bin/bash -c '
  cd /
  export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
  bash /run/job/run.sh >/run/job/out.log 2>&1
  echo $? >/run/job/rc
  sync
  echo o >/proc/sysrq-trigger
  sleep 30'
