#!/usr/bin/env bash
# End-to-end runs of the Linux binary: its options wherever they stand, and
# dry runs against the real runs that follow them, on the demo installation
# and on a large one: a dry run touches nothing, and prints exactly the change
# the real run then makes.
# Usage: dry_run_test.sh path/to/script-corvaldo
set -uo pipefail
exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
game="drive_c/Games/TCM 2005"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"

prefix() {  # a fresh copy of the demo prefix; prints its path
  local p
  p=$(mktemp -d "$work/prefix.XXXX")
  cp -a "$demo/." "$p/"
  echo "$p"
}
# Every file and folder under $1: size, mode, modification and change times.
stamps() { find "$1" -printf '%P %s %m %T@ %C@\n' | sort; }
# The game files' access times, set back first so that any read would move
# them (relatime); checked only where this file system records reads at all.
age() { touch -a -d 2001-01-01 "$1/$game"/*/*; }
atimes() { find "$1/$game" -type f -printf '%P %A@\n' | sort; }
probe=$(prefix)
age "$probe"
aged=$(atimes "$probe")
cat "$probe/$game/script/cupAlloc.txt" >/dev/null
reads_seen=
[ "$(atimes "$probe")" = "$aged" ] || reads_seen=1
[ -n "$reads_seen" ] || echo "note: reads do not update access times here; those checks are skipped"

# --- one table: arguments | exit code | whether files change | words in the output
while IFS='|' read -r args want changes words; do
  p=$(prefix)
  before=$(stamps "$p")
  # shellcheck disable=SC2086
  WINEPREFIX="$p" "$exe" $args >"$work/out" 2>"$work/err" </dev/null
  code=$?
  check "[$args]: exit $want ($code)" test "$code" -eq "$want"
  if [ "$changes" = yes ]; then
    check "[$args]: patched" test "$(stamps "$p")" != "$before"
  else
    check "[$args]: nothing touched" test "$(stamps "$p")" = "$before"
  fi
  [ -z "$words" ] || check "[$args]: says '$words'" grep -qF -- "$words" "$work/out" "$work/err"
  if [ "$want" -eq 64 ]; then
    check "[$args]: two lines on stderr, none on stdout" test "$(wc -l <"$work/err")" -eq 2 -a ! -s "$work/out"
  fi
done <<'EOF'
|0|yes|Actualizando o script
/b /S|0|yes|
--dry-run|0|no|Nada foi alterado. / Nothing was changed.
-n /b|0|no|Cópia / Backup: 
/r -n|0|no|database/Rules.sav
-n /s|0|no|+%INDEX%CUP3
--frobnicate|64|no|unknown option: '--frobnicate'. See script-corvaldo --help.
/b --frobnicate|64|no|opção desconhecida: '--frobnicate'. Veja script-corvaldo --help.
-n --frobnicate|64|no|
--frobnicate --help|64|no|
--dry-run=yes|64|no|'--dry-run=yes'
--dry|64|no|
-x|64|no|
-nx|64|no|'-nx'
--check|64|no|
-v|64|no|
--verbose|64|no|
--restore|0|no|Repondo os ficheiros originais
-n --restore /b|0|no|Nenhum ficheiro mudaria. / No file would change.
/u /r /b|0|no|Restoring the original files
--uninstall|64|no|
-u|64|no|
—dry-run|64|no|'—dry-run'
−n|64|no|
--help --frobnicate|0|no|Uso / Usage
/b --help|0|no|-n, --dry-run
-nh|0|no|64 opção desconhecida
/s --version|0|no|script-corvaldo 
-- -n|0|yes|
-- --frobnicate /b|0|yes|
- /s|0|yes|
-n -- /r|0|no|database/Rules.sav
EOF

# --- an unknown option does not even look for prefixes (no folder or file in
# the home opened, as inotify sees it); a dry run does, and its list of
# command lines keeps the options
# opened HOME ARGS...: runs without WINEPREFIX; prints how many times a folder
# or file in the home or its prefixes was opened or read, then the exit code.
opened() {
  local h=$1
  shift
  python3 - "$h" "$exe" "$@" 2>"$work/err" <<'PY'
import ctypes, os, subprocess, sys
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(os.O_NONBLOCK)
home = sys.argv[1]
for folder in (home, home + "/.wine", home + "/Games", home + "/Games/tcm"):
    assert libc.inotify_add_watch(watch, folder.encode(), 0x20 | 0x01) >= 0  # IN_OPEN, IN_ACCESS
env = {k: v for k, v in os.environ.items() if k != "WINEPREFIX"}
env["HOME"] = home
code = subprocess.run(sys.argv[2:], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode
events = 0
try:
    while True:
        data = os.read(watch, 65536)
        at = 0
        while at < len(data):
            events += 1
            at += 16 + int.from_bytes(data[at + 12:at + 16], "little")
except BlockingIOError:
    pass
print(events, code)
PY
}
h=$(mktemp -d "$work/home.XXXX")
cp -a "$demo" "$h/.wine"
mkdir "$h/Games" && cp -a "$demo" "$h/Games/tcm"
read -r events code < <(opened "$h" /b --frobnicate)
check "unknown option with several prefixes: exit 64 ($code)" test "$code" -eq 64
check "unknown option: two lines, no list" test "$(wc -l <"$work/err")" -eq 2
check "unknown option: nothing in the home opened ($events)" test "$events" -eq 0
read -r events code < <(opened "$h" -n /b)
check "dry run with several prefixes: exit 3 ($code)" test "$code" -eq 3
check "dry run with several prefixes: listed with -n" grep -qF "/.wine $(ls -d --quoting-style=shell-escape -- "$exe") -n /b  # Wine" "$work/err"
check "dry run: the search opened them ($events)" test "$events" -gt 0

# --- dry run, then the real run: nothing touched by the first, its output
# exactly the second's change (diff -u of the files as UTF-8 without CRs)
utf8() { sed 's/\r$//' "$1" | iconv -f CP1252 -t UTF-8; }
# A name as GNU ls quotes it for the shell, and as GNU diff quotes it in the
# header lines that GNU patch reads.
# (ls quotes only names that are there: one that is gone is put back a moment.)
shq() {
  if [ -e "$1" ]; then
    ls -d --quoting-style=shell-escape -- "$1"
  else
    touch -- "$1" && ls -d --quoting-style=shell-escape -- "$1" && rm -- "$1"
  fi
}
diffq() { diff -u /dev/null "$1" | sed -n 2p | cut -f1 | cut -c5-; }
# compare PREFIX ARGS...; files a real run cannot write are in $unwritten, and
# the file a restore cannot restore and the reason in $unrestored.
compare() {
  local p=$1 what dry_code real_code before read_before f file backup changed= restore=
  shift
  case " $* " in *" --restore "* | *" /u "*) restore=1 ;; esac
  what="$(basename "$p") [$*]"
  age "$p"
  before=$(stamps "$p")
  read_before=$(atimes "$p")
  WINEPREFIX="$p" "$exe" --dry-run "$@" >"$work/dry" 2>"$work/dry.err" </dev/null
  dry_code=$?
  check "$what: the dry run touched nothing" test "$(stamps "$p")" = "$before"
  [ -z "$reads_seen" ] || check "$what: nor access times" test "$(atimes "$p")" = "$read_before"
  rm -rf "$work/orig" && cp -a "$p" "$work/orig"
  WINEPREFIX="$p" "$exe" "$@" >/dev/null 2>"$work/real.err" </dev/null
  real_code=$?
  check "$what: exit $real_code, or 0 for 2 ($dry_code)" \
    test "$dry_code" -eq "$([ "$real_code" -eq 2 ] && echo 0 || echo "$real_code")"
  {
    for f in script/cupAlloc.txt:script/cupAlloc.backup-original.txt \
             database/Country38.sav:database/Country38.backup-original.sav \
             database/Rules.sav:database/Rules.backup-original.sav; do
      file="$p/$game/${f%%:*}" backup="$p/$game/${f#*:}"
      [ -e "$backup" ] && [ ! -e "$work/orig/$game/${f#*:}" ] && echo "Cópia / Backup: $(shq "$backup")"
      if ! cmp -s "$work/orig/$game/${f%%:*}" "$file"; then
        changed=1
        if [ -n "$restore" ]; then
          grep -qv $'\r$' "$file" && echo "Os fins de linha e o que segue um Ctrl-Z voltam a ser os da cópia. / Line ends and any bytes after a Ctrl-Z go back to the backup's."
        else
          grep -qv $'\r$' "$work/orig/$game/${f%%:*}" && echo "Os fins de linha passam a CR LF. / Line ends become CR LF."
        fi
        printf -- '--- %s\n+++ %s\n' "$(diffq "$file")" "$(diffq "$file")"
        diff -u <(utf8 "$work/orig/$game/${f%%:*}") <(utf8 "$file") | tail -n +3
      fi
      if [ ! -e "$backup" ] && [ -e "$work/orig/$game/${f#*:}" ]; then
        changed=1
        echo "Cópia apagada / Backup removed: $(shq "$backup")"
      fi
    done
    for f in $unwritten; do
      echo "Não poderia ser gravado / Could not be written: $(shq "$p/$game/$f"): Permission denied"
    done
    [ -z "$unrestored" ] ||
      echo "Não poderia ser reposto / Could not be restored: $(shq "$p/$game/${unrestored%%|*}") (${unrestored#*|})"
    [ -n "$changed" ] || echo "Nenhum ficheiro mudaria. / No file would change."
    echo "Nada foi alterado. / Nothing was changed."
  } >"$work/expected"
  check "$what: the dry run shows the real change, byte for byte" cmp -s "$work/expected" "$work/dry"
  cmp -s "$work/expected" "$work/dry" || diff "$work/expected" "$work/dry" | head -20 >&2
  # The report and the line naming the file; a real run's closing report follows.
  check "$what: the same failure report" test "$(sed -n '/^Application Error$/,/^No ficheiro/p' "$work/dry.err")" = \
    "$(sed -n '/^Application Error$/,/^No ficheiro/p' "$work/real.err")"
}
unwritten=
unrestored=
p=$(prefix)
touch "$p/$game/script/cupAlloc.txt.corvaldo-AbC123"  # a killed run's: left alone by a dry run
compare "$p" /b
compare "$p" /r /b
compare "$p"
for args in "/td /r /b" "/tp /td /s"; do
  # shellcheck disable=SC2086
  compare "$(prefix)" $args
done
p=$(prefix)
chmod a-w "$p/$game/script/cupAlloc.txt"
unwritten='script/cupAlloc.txt' compare "$p" /tp /r
p=$(prefix)
for f in "$p/$game"/*/*; do sed -i 's/\r$//' "$f"; done
compare "$p" /r /b
check "LF files: the real run wrote CR LF" test "$(grep -c $'\r$' "$p/$game/database/Rules.sav")" -eq 42
p=$(prefix)
printf '%%INDEX%%COMPETITION\r\n\r\n{ 0, FA_CUP }\r\n%%INDEXEND%%COMP\r\n' >"$p/$game/database/Country38.sav"
compare "$p" /b
check "a malformed entry: exit 1" grep -q '^Exception EStringListError' "$work/dry.err"
# Restores: dry runs show the real restore, which brings back the original
# bytes and removes the backups; a file changed since stays, named.
p=$(prefix)
WINEPREFIX="$p" "$exe" /tp /r /b /s </dev/null
compare "$p" --restore
check "restore: the demo's files again, no backup left" diff -r "$demo/drive_c/Games" "$p/drive_c/Games"
p=$(prefix)
WINEPREFIX="$p" "$exe" /td /r /b /s </dev/null
printf 'mod\r\n' >>"$p/$game/database/Rules.sav"
unrestored='database/Rules.sav|alterado / changed' compare "$p" /u /s
check "restore refused: a file changed since keeps its change" grep -qx $'mod\r' "$p/$game/database/Rules.sav"
check "restore refused: and its backup" test -e "$p/$game/database/Rules.backup-original.sav"
p=$(prefix)
for f in "$p/$game"/*/*; do sed -i 's/\r$//' "$f"; done
cp -a "$p" "$work/lf"
WINEPREFIX="$p" "$exe" /r /b /s </dev/null
compare "$p" --restore
check "restore: LF files come back as they were" diff -r "$work/lf/drive_c/Games" "$p/drive_c/Games"
mkdir "$work/large"
python3 "$here/large_game.py" "$work/large"
cp -a "$work/large" "$work/large-original"
compare "$work/large" /tp /r /b
compare "$work/large" --restore
check "large: restored byte for byte" diff -r "$work/large-original/drive_c" "$work/large/drive_c"

summary "dry run e2e"
