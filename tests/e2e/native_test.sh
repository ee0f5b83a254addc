#!/usr/bin/env bash
# End-to-end runs of the Linux binary on temporary Wine-prefix-shaped folders.
# Usage: native_test.sh path/to/script-corvaldo
set -uo pipefail
exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
game="drive_c/Games/TCM 2005"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"

# A fresh copy of the demo prefix; prints its path.
prefix() {
  local p
  p=$(mktemp -d "$work/prefix.XXXX")
  cp -a "$demo/." "$p/"
  echo "$p"
}

# run PREFIX ARGS...: sets $code, $out (stdout) and $err (stderr).
run() {
  local p=$1; shift
  WINEPREFIX="$p" "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null
  code=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

registry() {  # registry PREFIX VALUE-LINE (written under the win64 key)
  printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1700000000\n%s\n' "$2" >"$1/system.reg"
}

line() { sed -n "${2}p" "$1" | tr -d '\r'; }
same() { cmp -s "$1" "$2"; }

# --- default run, then a second run that writes nothing
p=$(prefix)
run "$p"
check "default run exits 0 ($code: $err)" test "$code" -eq 0
check "status text on stderr" grep -q "Actualizando o script da Corvaldo" "$work/err"
check "count line raised to 4" test "$(line "$p/$game/script/cupAlloc.txt" 1)" = 4
check "cup block appended with index 3" grep -q $'^%INDEX%CUP3\r$' "$p/$game/script/cupAlloc.txt"
check "Portugal's entry points at cup 3" test "$(line "$p/$game/database/Country38.sav" 26)" = 3
check "DB_CUP before the header" test "$(line "$p/$game/database/Country38.sav" 22)" = DB_CUP
check "rules untouched" same "$demo/$game/database/Rules.sav" "$p/$game/database/Rules.sav"
check "no backups without /b" test ! -e "$p/$game/script/cupAlloc.backup-original.txt"
check "no temporary files" test "$(find "$p" -name '*corvaldo*' | wc -l)" -eq 0
cp -a "$p" "$work/after-first"
touch -d '2001-01-01' "$p/$game"/*/*
stamp=$(stat -c %Y "$p/$game/script/cupAlloc.txt")
run "$p" /b /s
check "second run exits 0" test "$code" -eq 0
check "second run writes nothing" diff -r "$work/after-first/$game" "$p/$game"
check "second run keeps timestamps" test "$(stat -c %Y "$p/$game/script/cupAlloc.txt")" = "$stamp"
check "silent run prints nothing" test -z "$err"

# --- switches
p=$(prefix)
run "$p" /TD /s
check "/td exits 0" test "$code" -eq 0
check "/td leaves the script" same "$demo/$game/script/cupAlloc.txt" "$p/$game/script/cupAlloc.txt"
check "/td cup number 1" test "$(line "$p/$game/database/Country38.sav" 26)" = 1
check "/td number list" test "$(line "$p/$game/database/Country38.sav" 28)" = "105,171,192,213,269,329"

p=$(prefix)
run "$p" /r /b
check "/r exits 0" test "$code" -eq 0
check "/r line 31" test "$(line "$p/$game/database/Rules.sav" 31)" = 2490379
check "/r line 34" test "$(line "$p/$game/database/Rules.sav" 34)" = 2490375
check "/r keeps the line count" test "$(wc -l <"$p/$game/database/Rules.sav")" -eq 42
check "/r backup is the original" same "$demo/$game/database/Rules.sav" "$p/$game/database/Rules.backup-original.sav"
check "/r leaves the script" same "$demo/$game/script/cupAlloc.txt" "$p/$game/script/cupAlloc.txt"
check "/r leaves the country file" same "$demo/$game/database/Country38.sav" "$p/$game/database/Country38.sav"

p=$(prefix)
run "$p" /tp /r /b /s
check "/tp /r /b exits 0" test "$code" -eq 0
for f in script/cupAlloc.txt:script/cupAlloc.backup-original.txt database/Country38.sav:database/Country38.backup-original.sav database/Rules.sav:database/Rules.backup-original.sav; do
  check "backup of ${f%%:*}" same "$demo/$game/${f%%:*}" "$p/$game/${f##*:}"
done
cp "$p/$game/script/cupAlloc.txt" "$work/patched"
printf 'kept\r\n' >"$p/$game/script/cupAlloc.backup-original.txt"
printf '3\r\n' >"$p/$game/script/cupAlloc.txt"
run "$p" /b /s
check "present backup kept" test "$(cat "$p/$game/script/cupAlloc.backup-original.txt")" = $'kept\r'
check "file still rewritten" test "$(line "$p/$game/script/cupAlloc.txt" 1)" = 4

# --- not installed, and values that are not text
for value in none nokey '"Install Dir"=""' '"Install Dir"="   "' '"Install Dir"=hex(1):00,00'; do
  for silent in "" /s; do
    p=$(prefix)
    case "$value" in
      none) rm "$p/system.reg" ;;
      nokey) printf 'WINE REGISTRY Version 2\n#arch=win64\n' >"$p/system.reg" ;;
      *) registry "$p" "$value" ;;
    esac
    run "$p" $silent
    check "not installed ($value $silent) exits 0" test "$code" -eq 0
    check "not installed ($value $silent) touches nothing" diff -r "$demo/drive_c" "$p/drive_c"
    if [ -z "$silent" ]; then
      check "not-installed message ($value)" grep -q "O TCM 2005 não está instalado!" "$work/err"
    else
      check "silent: no output ($value)" test -z "$err"
    fi
  done
done
for silent in "" /s; do
  p=$(prefix)
  registry "$p" '"Install Dir"=dword:00000001'
  run "$p" $silent
  check "REG_DWORD exits 1 $silent" test "$code" -eq 1
  check "REG_DWORD report $silent" grep -q "^Invalid data type for 'Install Dir'\.$" "$work/err"
  check "REG_DWORD report title $silent" grep -q "^Application Error$" "$work/err"
  check "REG_DWORD report header $silent" grep -Eq "^Exception ERegistryException in module script-corvaldo at [0-9A-F]{8}\.$" "$work/err"
done

# --- where InstallDir points
p=$(prefix)
registry "$p" '"Install Dir"="\\"'
mkdir -p "$p/drive_c/script" "$p/drive_c/database"
printf '7\r\n' >"$p/drive_c/script/cupAlloc.txt"
run "$p" /s
check "single backslash: files at the drive's root" test "$(line "$p/drive_c/script/cupAlloc.txt" 1)" = 8
p=$(prefix)
registry "$p" '"Install Dir"=str(2):"c:\\games\\tcm 2005"'
run "$p" /s
check "no trailing backslash, other case, REG_EXPAND_SZ" test "$(line "$p/$game/script/cupAlloc.txt" 1)" = 4

# --- a count line that is not a number ends the run untouched
p=$(prefix)
printf '3 \r\n; comment\r\n' >"$p/$game/script/cupAlloc.txt"
cp -a "$p/drive_c" "$work/before"
run "$p" /s /b /tp /r
check "bad count line exits 1" test "$code" -eq 1
check "bad count line message" grep -q "^'3 ' is not a valid integer value\.$" "$work/err"
check "bad count line touches nothing" diff -r "$work/before" "$p/drive_c"
rm -rf "$work/before"

# --- a rewrite that cannot land: exit 2, the user told, Portugal's entry untouched
p=$(prefix)
chmod a-w "$p/$game/script/cupAlloc.txt"
run "$p" /tp /r
check "read-only script exits 2" test "$code" -eq 2
check "user told which file, by its path, and why" grep -qxF "  '$p/$game/script/cupAlloc.txt': Permission denied" "$work/err"
check "read-only script kept" same "$demo/$game/script/cupAlloc.txt" "$p/$game/script/cupAlloc.txt"
check "country entry not pointed at a missing cup" same "$demo/$game/database/Country38.sav" "$p/$game/database/Country38.sav"
check "rules stage still ran" test "$(line "$p/$game/database/Rules.sav" 31)" = 2490379
run "$p" /tp /r /s
check "silent failure: exit 2, no output" test "$code" -eq 2 -a -z "$err"

p=$(prefix)
rm -rf "$p/$game/script"
run "$p" /s
check "missing script folder exits 2" test "$code" -eq 2
check "country left alone when the cup is missing" same "$demo/$game/database/Country38.sav" "$p/$game/database/Country38.sav"

# --- an entry directly after the index's opening line is left alone
p=$(prefix)
printf '%%INDEX%%COMPETITION\r\n{ 2, FA_CUP }\r\na\r\nb\r\n0\r\n%%INDEXEND%%COMP\r\n' >"$p/$game/database/Country38.sav"
cp "$p/$game/database/Country38.sav" "$work/short"
run "$p" /s
check "short entry skipped" same "$work/short" "$p/$game/database/Country38.sav"

summary "e2e"
