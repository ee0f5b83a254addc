# Sourced by the tests that put the game on the file systems players keep it
# on: images made at test time, attached to loop devices and mounted, and all
# of it undone again.
#   fs_init WORKDIR      images go there; an EXIT trap must call fs_cleanup
#   fs_unusable          prints why nothing can be mounted here (not root, no
#                        loop devices, no FUSE), else nothing
#   fs_missing KIND      prints the programs KIND needs that are not there
#   fs_unsupported KIND  prints why this kernel cannot mount KIND, else nothing
#   fs_mount KIND DIR    makes an empty file system of KIND, mounted at DIR
#   fs_put DIR FOLDER    makes FOLDER's content the whole content of DIR
#   fs_readonly DIR      mounts DIR's file system again, read-only
#   fs_fresh DIR         unmounts DIR's image, checks it with its fsck (no
#                        repairs) and mounts it again as it was: prints what
#                        was wrong (dirty, or no longer mountable), else nothing
#   fs_fill DIR          fills it until not one more byte fits: filler.0 the
#                        big part, filler.s.* the small files at the end, in
#                        every folder
#   fs_cleanup           unmounts all that was mounted, detaches the loops
# Kinds: ext4 xfs btrfs tmpfs overlay (a tmpfs upper layer over a tmpfs lower
# one, which holds what fs_put puts there) ntfs (ntfs-3g) ntfs-perm (ntfs-3g
# -o permissions) exfat (exfat-fuse) fat32 (fusefat) squashfs (read-only:
# fs_put builds the image); and the kernel's drivers, which this machine's
# kernel may lack (kernel_matrix_test.sh runs them in virtual machines):
# vfat, exfat-kernel, ntfs3 (default options), ntfs3-windows-names,
# ntfs3-nocase, ext4-casefold (case-insensitive folders, +F, as Proton sets
# on game folders), and as a desktop's automounter mounts a drive for its
# user (FS_USER, nobody by default): vfat-auto, exfat-auto, ntfs3-auto;
# ext4-casefold-user is ext4-casefold with the game's files owned by FS_USER.

fs_work=
fs_user=${FS_USER:-nobody}
fs_mounts=()
fs_loops=()
declare -A fs_kind_of fs_loop_of fs_base_of fs_ro_of

fs_init() {
  fs_work=$1
  mkdir -p "$fs_work"
  fs_uid=$(id -u "$fs_user") fs_gid=$(id -g "$fs_user")
}

fs_unusable() {
  [ "$(id -u)" -eq 0 ] || { echo "mounting images needs root"; return; }
  [ -c /dev/fuse ] || { echo "no /dev/fuse: the kernel offers no FUSE here"; return; }
  local probe=$fs_work/probe.img loop
  truncate -s 1M "$probe"
  if ! loop=$(losetup -f --show "$probe" 2>/dev/null); then
    rm -f "$probe"
    echo "no loop device can be attached"
    return
  fi
  losetup -d "$loop"
  rm -f "$probe"
}

fs_missing() {
  local tool tools=() missing=()
  case $1 in
    ext4) tools=(mkfs.ext4) ;;
    xfs) tools=(mkfs.xfs) ;;
    btrfs) tools=(mkfs.btrfs) ;;
    ntfs | ntfs-perm) tools=(mkntfs ntfs-3g) ;;
    exfat) tools=(mkfs.exfat mount.exfat-fuse) ;;
    fat32) tools=(mkfs.vfat fusefat) ;;
    squashfs) tools=(mksquashfs) ;;
    vfat | vfat-auto) tools=(mkfs.vfat fsck.vfat) ;;
    exfat-kernel | exfat-auto) tools=(mkfs.exfat fsck.exfat) ;;
    ntfs3*) tools=(mkntfs ntfsfix ntfsinfo) ;;
    ext4-casefold*) tools=(mkfs.ext4 e2fsck chattr) ;;
  esac
  for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  echo "${missing[*]}"
}

# Prints why this kernel cannot mount KIND (a driver it lacks), else nothing.
fs_unsupported() {
  local type
  case $1 in
    vfat*) type=vfat ;;
    exfat-*) type=exfat ;;
    ntfs3*) type=ntfs3 ;;
    ext4-casefold*)
      # ext4's features show once it is loaded.
      grep -qw ext4 /proc/filesystems || modprobe -q ext4 2>/dev/null
      [ -e /sys/fs/ext4/features/casefold ] || echo "this kernel's ext4 has no casefold"
      return
      ;;
    *) return ;;
  esac
  grep -qw "$type" /proc/filesystems || modprobe -q -n "$type" 2>/dev/null ||
    echo "this kernel has no $type driver"
}

# Mounts DIR's image (or layers) with the options of its kind; "ro" as the
# second argument mounts it read-only.
fs_attach() {
  local dir=$1 ro=${2:-} kind=${fs_kind_of[$1]} loop=${fs_loop_of[$1]:-} base=${fs_base_of[$1]:-}
  case $kind in
    tmpfs) mount -t tmpfs -o "size=64M${ro:+,ro}" tmpfs "$dir" ;;
    overlay) mount -t overlay overlay -o \
      "lowerdir=$base/lower,upperdir=$base/upper,workdir=$base/work${ro:+,ro}" "$dir" ;;
    ext4 | xfs | btrfs | squashfs) mount ${ro:+-o ro} "$loop" "$dir" ;;
    ntfs) ntfs-3g ${ro:+-o ro} "$loop" "$dir" ;;
    ntfs-perm) ntfs-3g -o "permissions${ro:+,ro}" "$loop" "$dir" ;;
    exfat) mount.exfat-fuse ${ro:+-o ro} "$loop" "$dir" >/dev/null 2>&1 ;;
    # fusefat wants to be told rw+ (or ro), and talks a lot meanwhile.
    fat32) fusefat -o "${ro:-rw+}" "$loop" "$dir" >/dev/null 2>&1 ;;
    vfat | exfat-kernel | ntfs3 | ext4-casefold*)
      mount -t "${kind%%-*}" ${ro:+-o ro} "$loop" "$dir" ;;
    ntfs3-windows-names) mount -t ntfs3 -o "windows_names${ro:+,ro}" "$loop" "$dir" ;;
    ntfs3-nocase) mount -t ntfs3 -o "nocase${ro:+,ro}" "$loop" "$dir" ;;
    # What udisks and the like give a desktop's user.
    vfat-auto | exfat-auto | ntfs3-auto)
      local ids="uid=$fs_uid,gid=$fs_gid" options
      case $kind in
        vfat-auto) options="$ids,dmask=0077,fmask=0177,shortname=mixed,iocharset=utf8,showexec,flush" ;;
        exfat-auto) options="$ids,umask=0077,iocharset=utf8,errors=remount-ro" ;;
        ntfs3-auto) options="$ids,umask=0077,windows_names,iocharset=utf8" ;;
      esac
      mount -t "${kind%%-*}" -o "$options${ro:+,ro}" "$loop" "$dir" ;;
  esac || { echo "fs_images: mounting $kind at $dir failed" >&2; return 1; }
  case $kind in ntfs | ntfs-perm | exfat | fat32) ;; *) return 0 ;; esac
  # A FUSE daemon may take a while to come up, the more so on a busy machine.
  local deadline=$((SECONDS + 120))
  until mountpoint -q "$dir"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "fs_images: $kind did not come up at $dir" >&2
      return 1
    fi
    sleep 0.1
  done
}

# A FUSE daemon that hangs must not hang the test: then detached lazily. One
# that is only slow, writing back on a busy machine, is given its time.
fs_detach() {
  case ${fs_kind_of[$1]:-} in
    ntfs | ntfs-perm | exfat | fat32)
      mountpoint -q "$1" || return 0
      timeout 120 umount "$1" 2>/dev/null || umount -l "$1"
      ;;
    *) umount "$1" 2>/dev/null || ! mountpoint -q "$1" || umount -l "$1" ;;
  esac
}

# A sparse image of KIND for DIR on a loop device: small, so that filling it
# is quick even through FUSE (xfs and btrfs will not go below 300 and 114 MB).
fs_image() {
  local kind=$1 dir=$2 img size=64M
  img=$(mktemp "$fs_work/$kind.XXXXXX")
  case $kind in
    xfs) size=300M ;;
    btrfs) size=128M ;;
  esac
  truncate -s "$size" "$img"
  case $kind in
    ext4) mkfs.ext4 -q -F "$img" ;;
    # No blocks kept for root: a user's run sees the disk as full as root does.
    ext4-casefold*) mkfs.ext4 -q -F -m 0 -O casefold -E encoding=utf8 "$img" ;;
    vfat*) mkfs.vfat -F 32 "$img" >/dev/null ;;
    exfat-*) mkfs.exfat "$img" >/dev/null ;;
    ntfs3*) mkntfs -q -F -Q "$img" >/dev/null 2>&1 ;;
    xfs) mkfs.xfs -q -f "$img" ;;
    btrfs) mkfs.btrfs -q -f "$img" >/dev/null ;;
    ntfs | ntfs-perm) mkntfs -q -F -Q "$img" >/dev/null 2>&1 ;;
    exfat) mkfs.exfat "$img" >/dev/null ;;
    fat32) mkfs.vfat -F 32 "$img" >/dev/null ;;
  esac || { echo "fs_images: mkfs for $kind failed" >&2; return 1; }
  fs_loop_of[$dir]=$(losetup -f --show "$img") || return 1
  fs_loops+=("${fs_loop_of[$dir]}")
}

fs_mount() {
  local kind=$1 dir=$2
  mkdir -p "$dir"
  case $kind in
    tmpfs) ;;
    overlay)
      fs_base_of[$dir]=$fs_work/overlay.$RANDOM
      fs_mount tmpfs "${fs_base_of[$dir]}" || return 1
      mkdir "${fs_base_of[$dir]}"/{lower,upper,work}
      ;;
    squashfs) ;;
    *) fs_image "$kind" "$dir" || return 1 ;;
  esac
  fs_kind_of[$dir]=$kind
  fs_ro_of[$dir]=
  fs_mounts+=("$dir")
  [ "$kind" = squashfs ] || fs_attach "$dir"  # squashfs: made by fs_put
}

fs_put() {
  local dir=$1 from=$2 base=${fs_base_of[$1]:-}
  case ${fs_kind_of[$dir]} in
    overlay)
      # Into the lower layer, so that a rewrite copies the file up.
      fs_detach "$dir"
      rm -rf "$base"/{lower,upper,work}
      mkdir "$base"/{upper,work}
      cp -r "$from" "$base/lower"
      fs_attach "$dir"
      ;;
    squashfs)
      fs_detach "$dir"
      local img
      img=$(mktemp -u "$fs_work/squashfs.XXXXXX")
      mksquashfs "$from" "$img" -quiet -no-progress >/dev/null || return 1
      [ -n "${fs_loop_of[$dir]:-}" ] && losetup -d "${fs_loop_of[$dir]}"
      fs_loop_of[$dir]=$(losetup -f --show "$img") || return 1
      fs_loops+=("${fs_loop_of[$dir]}")
      fs_attach "$dir" ro
      ;;
    *)
      # (ext4's lost+found stays, which its fsck would miss.)
      find "$dir" -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +
      case ${fs_kind_of[$dir]} in
        ext4-casefold*)
          # Case-insensitive folders: +F set on each while empty, and
          # inherited by the folders made in it.
          local name
          for name in "$from"/*; do
            mkdir "$dir/${name##*/}"
            chattr +F "$dir/${name##*/}" || return 1
            cp -r "$name/." "$dir/${name##*/}/"
          done
          ;;
        # Plain copies: FAT keeps no owner, and modes follow the mount.
        *) cp -r "$from/." "$dir/" ;;
      esac
      # A user's drive holds the user's files: ext4 and ntfs3 (which keeps
      # a created file's owner and mode for Linux) store the owner given;
      # on FAT and exFAT it is the one the mount gives every file anyway.
      case ${fs_kind_of[$dir]} in
        *-user | *-auto) chown -R "$fs_uid:$fs_gid" "$dir" ;;
      esac
      ;;
  esac
}

fs_readonly() {
  fs_ro_of[$1]=ro
  case ${fs_kind_of[$1]} in
    ext4 | xfs | btrfs | tmpfs | overlay) mount -o remount,ro "$1" ;;
    squashfs) ;;
    *)
      fs_detach "$1"
      fs_attach "$1" ro
      ;;
  esac
}

# The check that changes nothing, of an image no one has mounted.
fs_fsck() {  # fs_fsck KIND DEVICE: its words on a fault, and a failure
  local out
  case $1 in
    vfat* | fat32) out=$(fsck.vfat -n "$2" 2>&1) ;;
    exfat*) out=$(fsck.exfat -n "$2" 2>&1) ;;
    ext4*) out=$(e2fsck -fn "$2" 2>&1) ;;
    # ntfsfix -n looks at the metadata only: the dirty flag, which Windows
    # and ntfs3 act on, is read apart (bit 0 of the volume's flags).
    ntfs*)
      local flags
      out=$(ntfsfix -n "$2" 2>&1) && out=$(ntfsinfo -m "$2" 2>&1) &&
        flags=$(echo "$out" | awk '/Volume Flags:/ { print $3 }') &&
        [[ $flags == 0x* ]] && [ $((flags & 1)) -eq 0 ]
      ;;
    *) return 0 ;;
  esac && return 0
  echo "$out" | tail -5 | tr '\n' ' '
  return 1
}

fs_fresh() {
  local dir=$1 kind=${fs_kind_of[$1]}
  case $kind in tmpfs | overlay | squashfs) return 0 ;; esac
  fs_detach "$dir" || { echo "could not be unmounted"; return 1; }
  local problem clean=0
  problem=$(fs_fsck "$kind" "${fs_loop_of[$dir]}") && clean=1
  [ "$clean" -eq 1 ] || echo "fsck: $problem"
  fs_attach "$dir" "${fs_ro_of[$dir]:-}" 2>/dev/null || { echo "does not mount again"; return 1; }
  [ "$clean" -eq 1 ]
}

# Big blocks first, then ever smaller ones, so that the last free byte goes,
# all into one file (a new one may find no room for its own entry while data
# still fits: xfs); then small files, which take room where data blocks
# cannot (btrfs keeps them in its metadata, NTFS in its file records), until
# none is accepted, in each folder: a folder's own index may still have room
# for names when the root's has none (ntfs3 then keeps a small file's data in
# a free file record). Twice: a file system may give back room it held in
# reserve for a file once the file is closed and synced.
fs_fill() {
  local round bs i folder folders
  mapfile -t folders < <(find "$1" -type d)
  for round in 1 2; do
    for bs in 1M 64k 4k 512 1; do
      dd if=/dev/zero of="$1/filler.0" bs="$bs" oflag=append conv=notrunc status=none 2>/dev/null
    done
    for folder in "${folders[@]}"; do
      for ((i = 1; i <= 2000; i++)); do
        printf 'x' 2>/dev/null >"$folder/filler.s.$round.$i" || break
      done
    done
    sync -f "$1" 2>/dev/null
  done
  return 0
}

fs_cleanup() {
  local i
  for ((i = ${#fs_mounts[@]} - 1; i >= 0; i--)); do fs_detach "${fs_mounts[$i]}"; done
  # A FUSE daemon lets its device go only as it exits: detached once free.
  for i in "${fs_loops[@]}"; do losetup -d "$i" 2>/dev/null; done
  fs_mounts=()
  fs_loops=()
}
