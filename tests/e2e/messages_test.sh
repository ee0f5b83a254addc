#!/usr/bin/env bash
# What the Linux binary tells the user, one situation a row: the closing
# report, where it looked when the game is not there and why, the system's
# reason for a file it could not write (a read-only file, a full disk, a
# read-only NTFS disk), the file and line of an error, the command lines for
# several prefixes when run by a relative path, the help a Windows user asks
# for, names that would act on the terminal, and root runs on a user's prefix.
# The disk and root rows need root, loop devices and FUSE; they are skipped
# (and said so) where those are missing.
# Usage: messages_test.sh path/to/script-corvaldo
set -uo pipefail
exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
game="drive_c/Games/TCM 2005"
work=$(mktemp -d)
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"
# shellcheck source=tests/e2e/fs_images.sh
. "$here/fs_images.sh"
user=
rootgame=
cleanup() {
  fs_cleanup
  [ -z "$user" ] || userdel "$user" 2>/dev/null
  [ -z "$rootgame" ] || rm -rf "$rootgame"
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# Others must reach the prefixes when a run takes their owner's rights.
chmod 755 "$work"
fs_init "$work/images"

# A name as GNU ls quotes it for the shell; for a name not there (never one
# with a quote or a control character here), the same rule by hand.
shq() {
  ls -d --quoting-style=shell-escape -- "$1" 2>/dev/null && return
  if [[ "$1" =~ ^[][A-Za-z0-9_@%+,./:-]+$ && "$1" != '~'* ]]; then echo "$1"; else echo "'$1'"; fi
}
prefix() {  # a fresh copy of the demo prefix; prints its path
  local p
  p=$(mktemp -d "$work/prefix.XXXX")
  cp -a "$demo/." "$p/"
  echo "$p"
}
registry() {  # registry PREFIX INSTALL-DIR-LINE
  printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\Machine' '' '#arch=win64' '' \
    '[Software\\Wow6432Node\\EA SPORTS\\TOTAL CLUB MANAGER 2005] 1700000000' "$2" >"$1/system.reg"
}
# Every file and folder under $1 but the runs' output: size, mode, time.
stamps() { find "$1" ! -name out ! -name err -printf '%P %s %m %T@\n' | sort; }
# run WINEPREFIX ARGS...: sets $code, $out and $err ("-" runs without WINEPREFIX).
run() {
  local p=$1
  shift
  if [ "$p" = - ]; then
    env -u WINEPREFIX "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null
  else
    WINEPREFIX=$p "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null
  fi
  code=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
# says WHAT LINE...: each LINE is a whole line of stderr.
says() {
  local what=$1 line
  shift
  for line in "$@"; do
    check "$what: says '$line'" grep -qxF -- "$line" "$work/err"
  done
}
no_escape() { ! grep -q $'\e' "$@"; }
show() { [ "$failed" -eq 0 ] || { echo "--- stderr of the last run:"; cat "$work/err"; } >&2; }

# --- patched, then in order: the closing report, word for word
p=$(prefix)
g=$p/$game
run "$p" /b
check "patched: exit 0 ($code)" test "$code" -eq 0
expected="Please Wait.
Alterado / Changed: $(shq "$g/script/cupAlloc.txt")
Cópia feita / Backup made: $(shq "$g/script/cupAlloc.backup-original.txt")
Alterado / Changed: $(shq "$g/database/Country38.sav")
Cópia feita / Backup made: $(shq "$g/database/Country38.backup-original.sav")"
check "patched: the closing report ends the run" test "$(tail -n 5 <<<"$err")" = "$expected"
run "$p" /tp /r
check "in order: exit 0 ($code)" test "$code" -eq 0
says "in order" "Já estava em ordem / Already in order: $(shq "$g/script/cupAlloc.txt")" \
  "Já estava em ordem / Already in order: $(shq "$g/database/Country38.sav")" \
  "Alterado / Changed: $(shq "$g/database/Rules.sav")"
run "$p" /s
check "silent: no report" test "$code" -eq 0 -a -z "$err"

# --- not installed: where it looked and why, in both languages, exit 0
mkdir "$work/empty"
touch "$work/file"
p=$(prefix) && rm "$p/system.reg" && noreg=$p
p=$(prefix) && printf 'WINE REGISTRY Version 2\n#arch=win64\n' >"$p/system.reg" && nokey=$p
p=$(prefix) && registry "$p" '"Install Dir"="  "' && blank=$p
while IFS='|' read -r what prefix why; do
  before=$(stamps "$work")
  run "$prefix"
  check "$what: exit 0 ($code)" test "$code" -eq 0
  says "$what" "O TCM 2005 não está instalado!" "TCM 2005 is not installed!" \
    "Prefixo Wine / Wine prefix (WINEPREFIX): $(shq "$prefix")" "  $why"
  check "$what: nothing changed" test "$(stamps "$work")" = "$before"
done <<EOF
missing|$work/nowhere|não existe / does not exist
not a folder|$work/file|não é uma pasta / is not a folder
no system.reg|$noreg|não tem system.reg, não é um prefixo Wine / has no system.reg, is no Wine prefix
key absent|$nokey|o system.reg não tem o TCM 2005 / system.reg does not hold TCM 2005
blank|$blank|o Install Dir do TCM 2005 está vazio / TCM 2005's Install Dir is empty
EOF
HOME=$work/empty run -
check "searched: exit 0 ($code)" test "$code" -eq 0
says "searched" "Procurado em / Looked in:" "  $work/empty/.wine (Wine)" "  $work/empty/Games/* (Lutris)" \
  "  $work/empty/.local/share/Steam/steamapps/compatdata/*/pfx (Steam)"

# --- a relative WINEPREFIX is refused as Wine refuses it: exit 5, nothing read
p=$(prefix)
before=$(stamps "$p")
for relative in "$(basename "$p")" "~/.wine"; do
  (cd "$work" && WINEPREFIX=$relative "$exe" /b >"$work/out" 2>"$work/err" </dev/null)
  code=$?
  check "relative '$relative': exit 5 ($code)" test "$code" -eq 5
  says "relative '$relative'" \
    "script-corvaldo: WINEPREFIX must be an absolute path, as for Wine: $(shq "$relative")"
done
says "relative ~" "  (o ~ só é expandido fora de aspas: use \$HOME / ~ is expanded only outside quotes: use \$HOME)"
check "relative: nothing changed" test "$(stamps "$p")" = "$before"

# --- a read-only file: exit 2, named by its path with the system's reason
p=$(prefix)
g=$p/$game
chmod a-w "$g/script/cupAlloc.txt"
run "$p" /tp /r
check "read-only file: exit 2 ($code)" test "$code" -eq 2
says "read-only file" "Não foi possível gravar:" "Could not write:" \
  "  $(shq "$g/script/cupAlloc.txt"): Permission denied" \
  "Não gravado / Not written: $(shq "$g/script/cupAlloc.txt"): Permission denied" \
  "Não visto (o script não tem a taça) / Not looked at (the cup script lacks the cup): $(shq "$g/database/Country38.sav")" \
  "Alterado / Changed: $(shq "$g/database/Rules.sav")"
check "read-only file: no word on NTFS" test "$(grep -c NTFS "$work/err")" -eq 0

# --- an error in a game file: the report as it was, then the file and line
p=$(prefix)
g=$p/$game
printf 'abc\r\n' >"$g/script/cupAlloc.txt"
run "$p" /s
check "bad count: exit 1 ($code)" test "$code" -eq 1
says "bad count" "'abc' is not a valid integer value." \
  "No ficheiro / In file: $(shq "$g/script/cupAlloc.txt"), linha 1 / line 1"
p=$(prefix)
g=$p/$game
printf '%%INDEX%%COMPETITION\r\nx\r\n{ 0, FA_CUP }\r\n%%INDEXEND%%COMP\r\n' >"$g/database/Country38.sav"
run "$p"
check "short entry: exit 1 ($code)" test "$code" -eq 1
says "short entry" "No ficheiro / In file: $(shq "$g/database/Country38.sav"), linha 3 / line 3" \
  "Alterado / Changed: $(shq "$g/script/cupAlloc.txt")"

# --- several prefixes, run by a relative path: the lines run where typed
h=$(mktemp -d "$work/home.XXXX")
cp -a "$demo" "$h/.wine"
mkdir -p "$h/Games" && cp -a "$demo" "$h/Games/tcm 2005"
mkdir "$work/release" && cp "$exe" "$work/release/script-corvaldo"
(cd "$work/release" && HOME=$h env -u WINEPREFIX ./script-corvaldo /r >"$work/out" 2>"$work/err" </dev/null)
code=$?
check "several, ./script-corvaldo: exit 3 ($code)" test "$code" -eq 3
says "several, ./script-corvaldo" \
  "  WINEPREFIX=$h/.wine ./script-corvaldo /r  # Wine: C:\\Games\\TCM 2005\\" \
  "  WINEPREFIX='$h/Games/tcm 2005' ./script-corvaldo /r  # Lutris: C:\\Games\\TCM 2005\\"
line=$(grep -F "Lutris" "$work/err")
(cd "$work/release" && HOME=$h PATH=/usr/bin:/bin bash -c "$line" >/dev/null 2>&1 </dev/null)
check "several: the pasted line ran, on its prefix" \
  test "$(sed -n 31p "$h/Games/tcm 2005/$game/database/Rules.sav" | tr -d '\r')" = 2490379
(cd "$work/release" && HOME=$h PATH="$work/release:/usr/bin:/bin" env -u WINEPREFIX script-corvaldo /r >/dev/null 2>"$work/err" </dev/null)
says "several, from PATH" "  WINEPREFIX=$h/.wine script-corvaldo /r  # Wine: C:\\Games\\TCM 2005\\"

# --- the help a Windows user asks for, as -h: on stdout, nothing touched
p=$(prefix)
before=$(stamps "$p")
for args in "/?" "/h" "/HELP" "/Help /b" "/b /?" "-- /h"; do
  # shellcheck disable=SC2086
  run "$p" $args
  check "$args: exit 0, usage on stdout, nothing on stderr" \
    test "$code" -eq 0 -a -z "$err" -a "$(head -n 1 <<<"$out")" = "Uso / Usage: script-corvaldo [-n] [/tp | /td] [/r] [/b] [/s]"
done
check "help: nothing changed" test "$(stamps "$p")" = "$before"
run "$p" --uninstall /?
check "an unknown option first still decides: exit 64 ($code)" test "$code" -eq 64

# --- a prefix named to act on the terminal: every name quoted, the dry
# run's headers as GNU diff quotes them, which GNU patch reads back
p=$work/$'tcm\e]0;pwned\a\e[2J\n2005 Zé'
cp -a "$demo" "$p"
g=$p/$game
run "$p" -n /r
check "hostile name, dry run: exit 0 ($code)" test "$code" -eq 0
header=$(diff -u /dev/null "$g/database/Rules.sav" | sed -n 2p | cut -f1 | cut -c5-)
check "hostile name: headers as GNU diff's" test "$(sed -n 1p "$work/out")" = "--- $header"
check "hostile name: no escape byte" no_escape "$work/out" "$work/err"
check "hostile name: one header each, one hunk" test "$(grep -c '^--- ' "$work/out")" -eq 1 -a \
  "$(grep -c '^+++ ' "$work/out")" -eq 1 -a "$(grep -c '^@@' "$work/out")" -eq 1
sed -i 's/\r$//' "$g/database/Rules.sav"  # the diff's lines carry no CR
(cd / && patch -s -p1 <"$work/out" >/dev/null 2>&1)
check "hostile name: GNU patch applies the dry run's diff" \
  test "$(sed -n 31p "$g/database/Rules.sav")" = 2490379
run "$p" /b
check "hostile name: exit 0 ($code)" test "$code" -eq 0
says "hostile name" "Alterado / Changed: $(shq "$g/script/cupAlloc.txt")"
check "hostile name, the terminal: no escape byte" no_escape "$work/err"

# --- disks: full, read-only NTFS (ntfs-3g -o ro), read-only ext4
why=$(fs_unusable)
disk() {  # disk KIND: the demo game on a fresh KIND image, reached as D:\TCM 2005
  local kind=$1
  d=$work/disk-$kind
  p=$work/prefix-$kind
  mkdir -p "$p/dosdevices" "$p/drive_c" "$work/put-$kind"
  ln -sfn "$d" "$p/dosdevices/d:"
  registry "$p" '"Install Dir"="D:\\TCM 2005"'
  cp -r "$demo/$game" "$work/put-$kind/TCM 2005"
  fs_mount "$kind" "$d" && fs_put "$d" "$work/put-$kind"
}
if [ -n "$why" ]; then
  echo "SKIP disks and root runs: $why"
else
  for kind in ext4 ntfs; do
    [ -z "$(fs_missing "$kind")" ] || { echo "SKIP $kind: no $(fs_missing "$kind")"; continue; }
    disk "$kind" || { fail "$kind: could not be mounted"; continue; }
    if [ "$kind" = ext4 ]; then
      fs_fill "$d"
      run "$p" /s
      check "full disk: exit 2 ($code)" test "$code" -eq 2
      run "$p"
      says "full disk" "  $(shq "$p/dosdevices/d:/TCM 2005/script/cupAlloc.txt"): No space left on device"
      rm -f "$d"/filler.*
    fi
    fs_readonly "$d"
    run "$p" /b
    check "read-only $kind: exit 2 ($code)" test "$code" -eq 2
    says "read-only $kind" "  $(shq "$p/dosdevices/d:/TCM 2005/script/cupAlloc.txt"): Read-only file system"
    hint=$(grep -c "Windows may be hibernated or have Fast" "$work/err")
    check "read-only $kind: the word on hibernated Windows ($hint)" \
      test "$hint" -eq "$([ "$kind" = ntfs ] && echo 1 || echo 0)"
    show
  done
fi

# --- root on a user's prefix: the user's rights, the user's files
if [ -n "$why" ]; then
  :
elif [ "$(id -u)" -ne 0 ]; then
  echo "SKIP root runs: not root"
else
  user=corvaldo-e2e-$$
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
    { fail "useradd"; user=; }
fi
if [ -n "$user" ]; then
  # Root's: a file only root reads, and a readable one in a folder only root writes.
  mkdir -m 700 "$work/secret" && cp "$demo/$game/database/Rules.sav" "$work/secret/rules.sav"
  mkdir -m 755 "$work/rootonly" && printf '3\r\n' >"$work/rootonly/cupAlloc.txt"
  chmod 644 "$work/rootonly/cupAlloc.txt"
  p=$(prefix)
  g=$p/$game
  ln -sf "$work/secret/rules.sav" "$g/database/Rules.sav"
  ln -sf "$work/rootonly/cupAlloc.txt" "$g/script/cupAlloc.txt"
  chown -hR "$user:" "$p"
  before=$(cat "$work/secret/rules.sav" "$work/rootonly/cupAlloc.txt")
  run "$p" /tp /r /b
  check "root: exit 2 ($code)" test "$code" -eq 2
  check "root: root's files untouched" test "$(cat "$work/secret/rules.sav" "$work/rootonly/cupAlloc.txt")" = "$before"
  check "root: no copy of the secret" test ! -e "$g/database/Rules.backup-original.sav"
  says "root" "  $(shq "$g/database/Rules.sav"): Permission denied" \
    "  $(shq "$g/script/cupAlloc.txt"): Permission denied"
  check "root: every file the run made is the user's" test -z "$(find "$p" ! -user "$user")"
  show
  # Drive D: a link into /root, the game there.
  rootgame=/root/corvaldo-e2e-$$
  mkdir -p "$rootgame" && cp -r "$demo/$game/." "$rootgame/"
  p=$(prefix)
  mkdir -p "$p/dosdevices" && ln -s /root "$p/dosdevices/d:"
  registry "$p" "\"Install Dir\"=\"D:\\\\corvaldo-e2e-$$\""
  chown -hR "$user:" "$p"
  before=$(stamps "$rootgame")
  run "$p" /b
  check "root, D: to /root: exit 2 ($code)" test "$code" -eq 2
  check "root, D: to /root: nothing there changed" test "$(stamps "$rootgame")" = "$before"
  says "root, D: to /root" "  $p/dosdevices/d:/corvaldo-e2e-$$/script/cupAlloc.txt: Permission denied"
  # Rights that cannot be taken (a user namespace where the owner has no
  # id): exit 5, nothing done.
  p=$(prefix)
  chown -hR "$user:" "$p"
  before=$(stamps "$p")
  WINEPREFIX=$p unshare --user --map-root-user "$exe" /b >"$work/out" 2>"$work/err" </dev/null
  code=$?
  check "rights not taken: exit 5 ($code)" test "$code" -eq 5
  check "rights not taken: said so" grep -qF "could not act as the prefix's owner" "$work/err"
  check "rights not taken: nothing changed" test "$(stamps "$p")" = "$before"
  # An unreadable system.reg (root's, mode 600, in the user's prefix): exit 5.
  p=$(prefix)
  chown -hR "$user:" "$p"
  chown root: "$p/system.reg" && chmod 600 "$p/system.reg"
  run "$p"
  check "unreadable system.reg: exit 5 ($code)" test "$code" -eq 5
  says "unreadable system.reg" \
    "script-corvaldo: could not read $(shq "$p/system.reg"): Permission denied"
  show
elif [ "$(id -u)" -ne 0 ]; then
  # Without root, the unreadable system.reg is this user's own.
  p=$(prefix)
  chmod 000 "$p/system.reg"
  run "$p"
  check "unreadable system.reg: exit 5 ($code)" test "$code" -eq 5
  says "unreadable system.reg" \
    "script-corvaldo: could not read $(shq "$p/system.reg"): Permission denied"
fi

summary "messages e2e"
