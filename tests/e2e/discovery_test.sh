#!/usr/bin/env bash
# End-to-end runs of the Linux binary without WINEPREFIX, on fake home folders
# holding prefixes in the launchers' places: which prefix is patched, what the
# user is told, the exit codes; and --help and --version, which touch nothing.
# Usage: discovery_test.sh path/to/script-corvaldo
set -uo pipefail
exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
game="drive_c/Games/TCM 2005"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"

# A fresh, empty home folder; prints its path.
newhome() { mktemp -d "$work/home.XXXX"; }
# install HOME RELATIVE-PATH: a copy of the demo prefix there.
install() { mkdir -p "$(dirname "$1/$2")"; cp -a "$demo" "$1/$2"; }
# A copy of the whole home, to compare against after a run.
snapshot() { rm -rf "$work/before"; cp -a "$1" "$work/before"; }
unchanged() { diff -r "$work/before" "$1" >/dev/null; }
patched() { test "$(sed -n 1p "$1/$game/script/cupAlloc.txt" | tr -d '\r')" = 4; }

# run HOME ARGS...: no WINEPREFIX; sets $code, $out and $err.
run() {
  local home=$1; shift
  env -u WINEPREFIX -u XDG_DATA_HOME HOME="$home" "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null
  code=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

# --- none: the not-installed path, as with ~/.wine alone
h=$(newhome)
mkdir -p "$h/Games/other"
snapshot "$h"
run "$h"
check "none: exit 0" test "$code" -eq 0
check "none: the not-installed message only" test "$(head -n 7 <<<"$err" | tail -n 1)" = "O TCM 2005 não está instalado!"
check "none: no prefix named" test "$(grep -c Prefixo <<<"$err")" -eq 0
check "none: nothing changed" unchanged "$h"

# --- exactly one, in each launcher's place: named first, then patched
for place in ".wine:Wine" "Games/tcm-2005:Lutris" ".local/share/bottles/bottles/TCM 2005:Bottles" \
             ".var/app/com.usebottles.bottles/data/bottles/bottles/TCM:Bottles (Flatpak)" \
             ".PlayOnLinux/wineprefix/TCM:PlayOnLinux" ".Phoenicis/containers/wineprefix/TCM:Phoenicis" \
             "Games/Heroic/Prefixes/default/TCM/pfx:Heroic" ".cxoffice/TCM:CrossOver" \
             ".local/share/Steam/steamapps/compatdata/2005/pfx:Steam"; do
  rel=${place%%:*}
  launcher=${place#*:}
  h=$(newhome)
  install "$h" "$rel"
  run "$h" /b
  check "one in $launcher: exit 0 ($code)" test "$code" -eq 0
  shown=$h/$rel
  [[ "$rel" != *" "* ]] || shown="'$h/$rel'"  # quoted as the shell reads it back
  check "one in $launcher: named before the status lines" test "$(head -n 1 <<<"$err")" = "Prefixo Wine / Wine prefix: $shown ($launcher)"
  check "one in $launcher: status follows" test "$(sed -n 2p <<<"$err")" = "Script Corvaldo"
  check "one in $launcher: patched" patched "$h/$rel"
  check "one in $launcher: backup made" test -e "$h/$rel/$game/script/cupAlloc.backup-original.txt"
done
h=$(newhome)
install "$h" "Games/tcm"
run "$h" /s
check "one, silent: exit 0, no output" test "$code" -eq 0 -a -z "$err"
check "one, silent: patched" patched "$h/Games/tcm"

# --- several: nothing patched, each listed with a command line that runs, exit 3
h=$(newhome)
install "$h" ".wine"
install "$h" ".local/share/bottles/bottles/Jogos do Zé"
install "$h" ".local/share/Steam/steamapps/compatdata/7/pfx"
mkdir -p "$h/.steam" && ln -s ../.local/share/Steam "$h/.steam/steam"  # Steam's own link: still one prefix
printf '"Install Dir"=str(2):"D:\\\\Jogos\\\\TCM Edi\\xe7\\xe3o"\n' >>"$h/.wine/system.reg"
snapshot "$h"
run "$h" /r /b
check "several: exit 3 ($code)" test "$code" -eq 3
check "several: nothing changed" unchanged "$h"
# Run by its path, the command is that path, quoted as the shell reads it.
cmd=$(ls -d --quoting-style=shell-escape -- "$exe")
expected="O TCM 2005 está em vários prefixos Wine e nenhum foi alterado. Escolha um:
TCM 2005 is in several Wine prefixes and none was changed. Choose one:
  WINEPREFIX=$h/.wine $cmd /r /b  # Wine: D:\\Jogos\\TCM Edição
  WINEPREFIX='$h/.local/share/bottles/bottles/Jogos do Zé' $cmd /r /b  # Bottles: C:\\Games\\TCM 2005\\
  WINEPREFIX=$h/.local/share/Steam/steamapps/compatdata/7/pfx $cmd /r /b  # Steam: C:\\Games\\TCM 2005\\"
check "several: the list, as the user sees it" test "$err" = "$expected"
[ "$err" = "$expected" ] || diff <(echo "$expected") <(echo "$err") >&2
run "$h" /s
check "several, silent: exit 3, no output" test "$code" -eq 3 -a -z "$err"
# A listed line, run as it stands, patches that prefix alone.
line=$(sed -n 4p <<<"$expected")
(cd "$work" && env -u XDG_DATA_HOME HOME="$h" PATH="$(dirname "$exe"):$PATH" bash -c "$line" >/dev/null 2>&1 </dev/null)
rules() { sed -n 31p "$1/$game/database/Rules.sav" | tr -d '\r'; }
check "several: a listed line runs, on its prefix" test "$(rules "$h/.local/share/bottles/bottles/Jogos do Zé")" = 2490379
check "several: and on no other" test "$(rules "$h/.wine")" = "$(rules "$demo")"

# --- WINEPREFIX set: that prefix only, as before, nothing named
p=$(newhome)
cp -a "$demo/." "$p/"
WINEPREFIX="$p" HOME="$h" "$exe" >"$work/out" 2>"$work/err" </dev/null
code=$?
check "WINEPREFIX: exit 0" test "$code" -eq 0
check "WINEPREFIX: no prefix named" test "$(head -n 1 "$work/err")" = "Script Corvaldo"
check "WINEPREFIX: that prefix patched" patched "$p"
check "WINEPREFIX: the home's prefixes untouched" test "$(sed -n 1p "$h/.wine/$game/script/cupAlloc.txt" | tr -d '\r')" = 3

# --- --help and --version touch nothing, whatever follows them
h=$(newhome)
install "$h" "Games/tcm"
snapshot "$h"
for args in "--help" "-h" "--help /r /b" "--version" "--version /tp"; do
  # shellcheck disable=SC2086
  run "$h" $args
  check "$args: exit 0" test "$code" -eq 0
  check "$args: nothing on stderr" test -z "$err"
  check "$args: nothing changed" unchanged "$h"
  case "$args" in
    --version*) check "$args: the version" grep -Eqx 'script-corvaldo [0-9]+\.[0-9]+\.[0-9]+' <<<"$out" ;;
    *) for needle in "Uso / Usage: script-corvaldo" "WINEPREFIX=<pasta>" "/td" "backup-original" \
                     "  3  o jogo está em vários prefixos" "Códigos de saída / Exit codes"; do
         check "$args: usage has '$needle'" grep -qF -- "$needle" <<<"$out"
       done ;;
  esac
done
# Anywhere they stand, they act; in another spelling they are unknown options.
for case in "/s --help:0:Uso / Usage" "/s --version:0:script-corvaldo " "/s --HELP:64:unknown option: '--HELP'" \
            "/s -help:64:unknown option: '-help'"; do
  args=${case%%:*}
  rest=${case#*:}
  h=$(newhome)
  install "$h" "Games/tcm"
  snapshot "$h"
  # shellcheck disable=SC2086
  run "$h" $args
  check "$args: exit ${rest%%:*} ($code)" test "$code" -eq "${rest%%:*}"
  check "$args: nothing changed" unchanged "$h"
  check "$args: the answer" grep -qF -- "${rest#*:}" <<<"$out$err"
done
check "--help to a full disk: exit 1" sh -c "env -u WINEPREFIX HOME='$h' '$exe' --help >/dev/full 2>/dev/null; test \$? -eq 1"

summary "discovery e2e"
