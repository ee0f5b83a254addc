#!/usr/bin/env bash
# The Linux binary with the game on the file systems players keep it on, each
# a loop-mounted image reached from the prefix through drive D:, as Wine
# users link a Windows partition or an external drive. On each file system:
#   patch     a default run, then a second one, byte for byte as on a plain
#             folder; /tp /r /b, with backups identical to the originals
#   case      folders and files spelled otherwise than we spell them: patched,
#             and no name changes
#   kills     SIGKILL at points of a large /b run, several while a backup is
#             written: every file old or new, every backup absent or whole;
#             the next run finishes the job and leaves nothing of ours
#   full      the disk full, or all but full: old or new files, whole backups,
#             exit 2 when full, and nothing of ours left
#   readonly  mounted read-only: exit 2, nothing changed
# and, as a kind's row says: "user", every run made as FS_USER (nobody by
# default), on a volume mounted for that user; "fresh", the volume unmounted
# and mounted again before each run, so that the run finds nothing of ours
# in the kernel's caches, and checked by its fsck after each run (and then it
# must mount again).
# Usage: fs_matrix_test.sh path/to/script-corvaldo [KIND...]
# (FS_MATRIX_SCALE sizes the large installation, 0.2 by default: a 2 MB cup
# script and a 4.5 MB country file; FS_MATRIX_KILLS, 5 by default, is the
# number of kills aimed at writes: the middle of each backup's copy first,
# then of the country file's rewrite.) Exit 77 (skip) where no image can be mounted: not root, no loop
# devices or no FUSE. The kernel's own drivers of removable drives run in
# virtual machines (kernel_matrix_test.sh) where this kernel lacks them.
set -uo pipefail
exe=$(readlink -f "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix/drive_c/Games/TCM 2005"
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"
# shellcheck source=tests/e2e/fs_images.sh
. "$here/fs_images.sh"

# kind | what it stands for | steps | how
table=(
  "ext4|ext4|patch case kills full readonly"
  "xfs|xfs|patch case kills full readonly"
  "btrfs|btrfs|patch case kills full readonly"
  "tmpfs|tmpfs|patch case kills full readonly"
  "overlay|overlayfs, the game in the lower layer|patch case kills full readonly"
  "ntfs|NTFS (ntfs-3g)|patch case kills full readonly"
  "ntfs-perm|NTFS (ntfs-3g -o permissions)|patch case kills full readonly"
  "exfat|exFAT (exfat-fuse)|patch case kills full readonly"
  "fat32|FAT32 (fusefat)|patch case kills full readonly"
  "squashfs|squashfs, read-only by nature|readonly"
  "vfat|FAT32 (kernel vfat)|patch case kills full readonly|fresh"
  "vfat-auto|FAT32 (kernel vfat, automounter's options, its user)|patch case|fresh user"
  "exfat-kernel|exFAT (kernel exfat)|patch case kills full readonly|fresh"
  "exfat-auto|exFAT (kernel exfat, automounter's options, its user)|patch case|fresh user"
  "ext4-casefold|ext4, case-insensitive folders (casefold)|patch case readonly|fresh"
  "ext4-casefold-user|ext4, case-insensitive folders, a user's files|patch case|fresh user"
  "ntfs3|NTFS (kernel ntfs3)|patch case kills full readonly|fresh"
  "ntfs3-windows-names|NTFS (kernel ntfs3 -o windows_names)|patch case|fresh"
  "ntfs3-nocase|NTFS (kernel ntfs3 -o nocase)|patch case|fresh"
  "ntfs3-auto|NTFS (kernel ntfs3, automounter's options, its user)|patch case|fresh user"
)
only=" $* "

work=$(mktemp -d)
chmod 755 "$work"  # a run as FS_USER reads the prefix there
cleanup() {
  fs_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fs_init "$work/images"
why=$(fs_unusable)
[ -z "$why" ] || { echo "SKIP: $why"; exit 77; }
command -v strace >/dev/null || { echo "FAIL: no strace (scripts/deps filesystems)"; exit 1; }

files=(script/cupAlloc.txt database/Country38.sav database/Rules.sav)
backups=(script/cupAlloc.backup-original.txt database/Country38.backup-original.sav
  database/Rules.backup-original.sav)
mnt=$work/d
game="$mnt/TCM 2005"
prefix=$work/prefix
mkdir -p "$prefix/dosdevices" "$prefix/drive_c" "$mnt"
ln -s "$mnt" "$prefix/dosdevices/d:"
# installed NAME: the game is "D:\NAME", $game its folder here.
installed() {
  game="$mnt/$1"
  printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\Machine' '' '#arch=win64' '' \
    '[Software\\Wow6432Node\\EA SPORTS\\TOTAL CLUB MANAGER 2005] 1700000000' \
    "\"Install Dir\"=\"D:\\\\$1\\\\\"" >"$prefix/system.reg"
}
installed "TCM 2005"

# How a run is started (as root, or as FS_USER) and whether the volume is
# made fresh around it: set per kind.
as=()
fresh=0
user=${FS_USER:-nobody}
# before_run / after_run LABEL: the volume mounted afresh before a run; after
# it, checked and mounted again, a fault counted in $dirty.
before_run() {
  [ "$fresh" -eq 1 ] || return 0
  if ! fs_detach "$mnt" || ! fs_attach "$mnt" "${fs_ro_of[$mnt]}"; then
    fail "$kind: could not be mounted again before a run"
  fi
}
after_run() {
  [ "$fresh" -eq 1 ] || return 0
  local problem
  checked=$((checked + 1))
  if ! problem=$(fs_fresh "$mnt"); then
    dirty=$((dirty + 1))
    fail "$kind: after the run $1: $problem"
  fi
}
# run ARGS...: the binary on the game at D:; sets $code.
run() {
  before_run
  WINEPREFIX=$prefix "${as[@]}" "$exe" "$@" </dev/null >/dev/null 2>"$work/err"
  code=$?
  after_run "$*"
}
# put FOLDER [NAME...]: the game folder FOLDER becomes "D:\TCM 2005" (or
# each NAME), alone on the file system. (Each such layout is made once, and
# copied from there: every program started counts in a virtual machine.)
declare -A staged=()
put() {
  local from=$1 name key
  shift
  key="$from|$*"
  if [ -z "${staged[$key]:-}" ]; then
    staged[$key]=$work/put.${#staged[@]}
    mkdir "${staged[$key]}"
    for name in "${@:-TCM 2005}"; do cp -r "$from" "${staged[$key]}/$name"; done
  fi
  fs_put "$mnt" "${staged[$key]}"
}
ours() { find "$mnt" \( -name '*.corvaldo-*' -o -name '.fuse_hidden*' \) -print; }
count_ours() {  # count_ours: how many of ours there are, in $count, and their names in $listed
  local found
  mapfile -t found < <(ours)
  count=${#found[@]} listed="${found[*]}"
}
names() { (cd "$1" && find . | LC_ALL=C sort); }

# What a plain folder gives: the reference for every file system.
plain() {  # plain NAME FOLDER ARGS...: the game FOLDER patched on tmp, kept as $work/ref/NAME
  local name=$1 from=$2
  shift 2
  mkdir -p "$work/ref/$name.prefix/dosdevices"
  ln -s "$work/ref/$name" "$work/ref/$name.prefix/dosdevices/d:"
  cp "$prefix/system.reg" "$work/ref/$name.prefix/"
  mkdir "$work/ref/$name"
  cp -r "$from" "$work/ref/$name/TCM 2005"
  WINEPREFIX=$work/ref/$name.prefix "$exe" "$@" </dev/null >/dev/null 2>&1 ||
    { echo "FAIL: the reference run $name on a plain folder exited $?"; exit 1; }
}
python3 "$here/large_game.py" "$work/large-prefix" "${FS_MATRIX_SCALE:-0.2}" || exit 1
large="$work/large-prefix/drive_c/Games/TCM 2005"
plain default "$demo" /s
plain all "$demo" /s /tp /r /b
plain large "$large" /s /b

# --- steps; each sets the figures the summary shows

step_patch() {
  put "$demo"
  run /s
  check "$kind: default run exit 0 ($code: $(cat "$work/err"))" test "$code" -eq 0
  check "$kind: default run gives a plain folder's bytes" diff -r -x lost+found "$work/ref/default" "$mnt"
  run /s /b
  check "$kind: second run exit 0 ($code)" test "$code" -eq 0
  check "$kind: second run writes nothing" diff -r -x lost+found "$work/ref/default" "$mnt"
  put "$demo"
  run /s /tp /r /b
  check "$kind: /tp /r /b exit 0 ($code: $(cat "$work/err"))" test "$code" -eq 0
  check "$kind: /tp /r /b gives a plain folder's bytes" diff -r -x lost+found "$work/ref/all" "$mnt"
  local i
  for i in 0 1 2; do
    check "$kind: ${backups[$i]} is the original" cmp -s "$demo/${files[$i]}" "$game/${backups[$i]}"
  done
}

step_case() {
  local spelled=$work/spelled
  if [ ! -d "$spelled" ]; then
    mkdir -p "$spelled/SCRIPT" "$spelled/DataBase"
    cp "$demo/script/cupAlloc.txt" "$spelled/SCRIPT/CUPALLOC.TXT"
    cp "$demo/database/Country38.sav" "$spelled/DataBase/country38.SAV"
    cp "$demo/database/Rules.sav" "$spelled/DataBase/RULES.sav"
  fi
  put "$spelled"
  local before after expected
  before=$(names "$game")
  # Every call that names a file is traced: none may name a game file or
  # folder as we spell it, which the folder does not list (a case-insensitive
  # file system would find it under that name, and might keep it).
  traced "$work/case.trace" %file -- /s /tp /r /b
  code=$?
  after=$(names "$game")
  local unlisted=()
  mapfile -t unlisted < <(grep -E \
    '/(script|database|cupAlloc\.txt|Country38\.sav|Rules\.sav)["/]' "$work/case.trace")
  check "$kind: other letter case: no name looked up as we spell it (${#unlisted[@]} calls, \
first: ${unlisted[0]:-})" test ${#unlisted[@]} -eq 0
  check "$kind: other letter case: exit 0 ($code)" test "$code" -eq 0
  check "$kind: other letter case: the new bytes" cmp -s "$game/SCRIPT/CUPALLOC.TXT" \
    "$work/ref/all/TCM 2005/script/cupAlloc.txt"
  check "$kind: other letter case: the new bytes" cmp -s "$game/DataBase/country38.SAV" \
    "$work/ref/all/TCM 2005/database/Country38.sav"
  check "$kind: other letter case: the new bytes" cmp -s "$game/DataBase/RULES.sav" \
    "$work/ref/all/TCM 2005/database/Rules.sav"
  expected=$(printf '%s\n' "$before" ./SCRIPT/cupAlloc.backup-original.txt \
    ./DataBase/Country38.backup-original.sav ./DataBase/Rules.backup-original.sav | LC_ALL=C sort)
  renamed=$(comm -23 <(echo "$before") <(echo "$after") | wc -l)
  check "$kind: other letter case: no name changed ($renamed gone: $(comm -23 \
    <(echo "$before") <(echo "$after") | tr '\n' ' '))" test "$renamed" -eq 0
  check "$kind: other letter case: only the backups added" test "$after" = "$expected"
}

# sums PATH...: the MD5 of each readable file, in ${sum[PATH]} (one
# program for all of them).
declare -A sum=()
sums() {
  local hash path
  sum=()
  while read -r hash path; do sum[$path]=$hash; done < <(md5sum "$@" 2>/dev/null)
}

# state LABEL OLD NEW: each game file as in the folder OLD (o) or NEW (n), in
# $state; each backup absent or a whole copy of OLD's file; counts the ones
# that are not.
state() {
  local label=$1 old=$2 new=$3 i f b
  state=""
  sums "${files[@]/#/$game/}" "${backups[@]/#/$game/}" "${files[@]/#/$old/}" "${files[@]/#/$new/}"
  for i in 0 1 2; do
    f=${files[$i]}
    b=${backups[$i]}
    if [ -n "${sum[$game/$f]:-}" ] && [ "${sum[$game/$f]}" = "${sum[$old/$f]:-}" ]; then
      state+=o
    elif [ -n "${sum[$game/$f]:-}" ] && [ "${sum[$game/$f]}" = "${sum[$new/$f]:-}" ]; then
      state+=n
    else
      state+="?"
      partial=$((partial + 1))
      fail "$kind: $label: $f is neither old nor new"
    fi
    if [ -e "$game/$b" ] && { [ -z "${sum[$game/$b]:-}" ] ||
      [ "${sum[$game/$b]}" != "${sum[$old/$f]:-}" ]; }; then
      badbackups=$((badbackups + 1))
      fail "$kind: $label: $b is not a whole copy of the original"
    fi
  done
}

# after_kill LABEL: the state of the large installation after a /b run, and
# no name added but the two backups' and ours.
declare -A large_names=()
after_kill() {
  local extra
  state "$1" "$large" "$work/ref/large/TCM 2005"
  if [ ${#large_names[@]} -eq 0 ]; then
    while IFS= read -r extra; do large_names[$extra]=1; done < <(cd "$large" && find .)
  fi
  while IFS= read -r extra; do
    [ -z "${large_names[$extra]:-}" ] || continue
    case "$extra" in
      ./script/cupAlloc.backup-original.txt | ./database/Country38.backup-original.sav | \
        ./script/*.corvaldo-?????? | ./database/*.corvaldo-??????) ;;
      *) fail "$kind: $1: unexpected file $extra" ;;
    esac
  done < <(cd "$game" && find .)
}

originals() {  # originals I...: the backups of files[I...] are the large originals
  local i
  sums "${backups[@]/#/$game/}" "${files[@]/#/$large/}"
  for i in "$@"; do
    [ -n "${sum[$game/${backups[$i]}]:-}" ] &&
      [ "${sum[$game/${backups[$i]}]}" = "${sum[$large/${files[$i]}]:-}" ] || return 1
  done
}

# Kills are aimed with strace, which sends SIGKILL as the run enters its Nth
# call of a set, whatever the machine's speed and load: a write (so many
# bytes into the output), or a call that names a file.
# (LeakSanitizer gives up under ptrace, failing the run: an ASan build is
# traced with it off.)
traced() {  # traced LOG|- SET [N] [-- ARGS]: a run (/s /b), traced; killed at the Nth call of SET
  local log=$1 set=$2 n="" rc
  shift 2
  if [ $# -gt 0 ] && [ "$1" != -- ]; then
    n=$1
    shift
  fi
  [ "${1:-}" != -- ] || shift
  [ $# -gt 0 ] || set -- /s /b
  before_run
  WINEPREFIX=$prefix ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    strace -qq -s 0 -o "${log/#-//dev/null}" -e trace="$set" ${as[0]:+-u "$user"} \
    ${n:+-e inject="$set:signal=SIGKILL:when=$n"} "$exe" "$@" </dev/null >/dev/null 2>&1
  rc=$?
  after_run "$*${n:+ killed at $set $n}"
  return "$rc"
}

step_kills() {
  # A clean run tells every write and naming call it makes, in order.
  put "$large"
  traced "$work/trace" write,link,linkat,rename,renameat,renameat2,unlink,unlinkat
  code=$?
  check "$kind: traced clean /b run: exit 0 ($code)" test "$code" -eq 0
  check "$kind: traced clean /b run: the new bytes" diff -r "$work/ref/large/TCM 2005" "$game"
  # Its output in order: the cup script's backup, its rewrite, the country
  # file's backup, its rewrite; the files' sizes tell where each one lies.
  local cup_old cup_new country_old
  cup_old=$(stat -c %s "$large/${files[0]}")
  cup_new=$(stat -c %s "$work/ref/large/TCM 2005/${files[0]}")
  country_old=$(stat -c %s "$large/${files[1]}")
  local b1=0 e1=$cup_old b2=$((cup_old + cup_new)) e2=$((cup_old + cup_new + country_old))
  # Kill points: writes at these byte positions (inside both backups, the
  # country file's several times, and in the middle of its rewrite), and
  # every call that puts the country file's backup in place or removes its
  # temporary name.
  # Fewer (FS_MATRIX_KILLS): the middle of each backup first, then the
  # rewrite's, then the other two in the country file's backup.
  local positions=($((e1 / 2)) $((b2 + country_old / 4)) $((b2 + country_old / 2))
    $((b2 + country_old * 3 / 4)) $((e2 + country_old / 2)))
  local order=(2 0 4 1 3) chosen=() i
  for i in "${order[@]:0:${FS_MATRIX_KILLS:-5}}"; do chosen[i]=${positions[i]}; done
  local points=()
  local at
  for at in "${chosen[@]}"; do
    points+=("write:$(awk -v at="$at" '/^write\(/ { n++; if (sum >= at) { print n; exit } }
      /^write\([0-9][0-9]+|^write\([3-9]/ { sum += $NF }' "$work/trace")")
  done
  # (strace counts the calls of each name apart.)
  points+=($(awk -F'(' '!/^write\(/ { n[$1]++ }
    !/^write\(/ && /Country38\.backup-original/ { print $1 ":" n[$1] }' "$work/trace"))
  local point set n w placing
  for point in "${points[@]}"; do
    set=${point%%:*} n=${point#*:}
    placing=0
    if [ "$set" = write ]; then
      # The bytes written to files (not to stderr) before the call stopped.
      w=$(awk -v n="$n" '/^write\(/ { if (++i == n) { print sum; exit } }
        /^write\([0-9][0-9]+|^write\([3-9]/ { sum += $NF }' "$work/trace")
      ((w > b1 && w < e1 || w > b2 && w < e2)) && placing=1
    else
      w=$set
      [[ $set == link* || $set == rename* ]] && placing=1
    fi
    put "$large"
    { traced - "$set" "$n"; } 2>/dev/null  # no word from the shell on the kill
    code=$?
    kills=$((kills + 1))
    inbackup=$((inbackup + placing))
    after_kill "kill at $w"
    count_ours
    states+=" $w:$state/$count"
    [ "$code" -eq 137 ] || fail "$kind: the run was not killed at $point ($code)"
    run /s /b
    after_kill "run after the kill at $w"
    check "$kind: the run after the kill at $w: exit 0, all new ($code, $state)" \
      test "$code" -eq 0 -a "$state" = nno
    count_ours
    check "$kind: the run after the kill at $w leaves nothing of ours ($listed)" test "$count" -eq 0
    check "$kind: the run after the kill at $w: the backups are the originals" \
      originals 0 1
  done
  check "$kind: several kills landed while a backup was written ($inbackup)" test "$inbackup" -ge 3
}

step_full() {
  # Full to the last byte, then with a little room (which may or may not be
  # enough for a run): old or new files, whole backups, nothing of ours left.
  # Each run on its own copy of the game, all put there before the filling.
  local room old before left freed=0
  put "$demo" full-0 full-4 full-32
  fs_fill "$mnt"
  for room in 0 4 32; do
    if [ "$room" -gt 0 ]; then
      find "$mnt" -name 'filler.s.*' -delete
      truncate -s "-$((room * 1024 - freed))" "$mnt/filler.0"
    fi
    freed=$((room * 1024))
    installed "full-$room"
    count_ours
    before=$count
    run /s /tp /r /b
    count_ours
    left=$((count - before))
    left_full=$((left_full + left))
    check "$kind: disk full but ${room} KiB: nothing of ours left ($listed)" test "$left" -eq 0
    state "disk full but ${room} KiB" "$demo" "$work/ref/all/TCM 2005"
    old=${state//[^o]/}
    old=${#old}
    if [ "$room" -eq 0 ]; then
      check "$kind: full disk: exit 2 ($code)" test "$code" -eq 2
      check "$kind: full disk: every file old ($old of 3)" test "$old" -eq 3
    else
      check "$kind: disk full but ${room} KiB: exit 0 with every file new, or 2 ($code, $old old)" \
        test "$code" -eq 2 -o "$old" -eq 0
    fi
    fullcodes+="$code"
  done
  installed "TCM 2005"
  find "$mnt" -name 'filler.*' -delete
}

step_readonly() {
  put "$demo"
  fs_readonly "$mnt" || { fail "$kind: could not be mounted read-only"; return; }
  run /s /tp /r /b
  rocode=$code
  check "$kind: read-only: exit 2 ($code)" test "$code" -eq 2
  check "$kind: read-only: nothing changed" diff -r "$demo" "$game"
}

# --- the matrix

report=()
for row in "${table[@]}"; do
  IFS='|' read -r kind label steps how <<<"$row"
  [ "$only" = "  " ] || [[ $only == *" $kind "* ]] || continue
  missing=$(fs_missing "$kind")
  if [ -n "$missing" ]; then
    fail "$kind: $missing missing (scripts/deps filesystems installs them)"
    continue
  fi
  # The kernel's drivers that this kernel lacks run in a virtual machine
  # instead; only a kind asked for by name must run here.
  unsupported=$(fs_unsupported "$kind")
  if [ -n "$unsupported" ]; then
    if [[ $only == *" $kind "* ]]; then
      fail "$kind: $unsupported"
    else
      echo "fs $kind: not run, $unsupported (kernel_matrix_test.sh runs it in a virtual machine)"
    fi
    continue
  fi
  started=$SECONDS
  kills=0 inbackup=0 partial=0 badbackups=0 renamed=- left_full=0 fullcodes="" rocode=- states="" timing=""
  dirty=- checked=0 as=() fresh=0
  [[ " $how " == *" fresh "* ]] && fresh=1 dirty=0
  [[ " $how " == *" user "* ]] &&
    as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups)
  if fs_mount "$kind" "$mnt"; then
    for s in $steps; do
      if [ "$fresh" -eq 1 ] && ! mountpoint -q "$mnt"; then
        fail "$kind: no longer mounted: the steps from $s on are left out"
        break
      fi
      "step_$s"
      timing+=" $s $((SECONDS - started))s"
    done
  else
    fail "$kind: could not be mounted"
  fi
  fs_cleanup
  echo "fs $kind, $label${as[0]:+, as $user}: steps done at:$timing"
  [[ $steps == *kills* ]] && echo "fs $kind: kills (bytes written or call:files/ours left):$states"
  [ "$fresh" -eq 0 ] || dirty+="/$checked"
  report+=("$(printf '%-19s %5s %9s %7s %8s %7s %9s %10s %8s %7s %4ss' "$kind" \
    "$kills" "$inbackup" "$partial" "$badbackups" "$renamed" "$left_full" "${fullcodes:--}" \
    "$rocode" "$dirty" $((SECONDS - started)))")
done

# kills: SIGKILLs; in-backup: of them, while a backup was copied or put in
# place; partial: game files neither old nor new; bad-bak: backups not whole;
# renamed: names that changed; left-full: files of ours left on a full disk;
# full-exits: exit codes with 0, 4 and 32 KiB free; read-only: its exit code;
# dirty: runs after which the volume's fsck found a fault or it would not
# mount again, of the runs checked ("fresh" kinds only).
echo "fs: kind                kills in-backup partial bad-bak renamed left-full full-exits read-only   dirty time"
printf 'fs: %s\n' "${report[@]}"
summary "fs matrix"
