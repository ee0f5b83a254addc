#!/bin/sh
# Builds a throwaway Wine prefix with real Wine, records the game in it the way
# an installer would (with reg.exe, in the 32-bit view), creates the install
# folder through Wine, and runs the prefix tests against it. Afterwards Wine
# itself must read what our file layer wrote.
# Usage: wine_registry_test.sh <wine_prefix_realwine_test binary>
set -eu

test_binary=$1
wine_dir=${CORVALDO_WINE_DIR:-/usr/lib/wine}
wine=$wine_dir/wine64
if [ ! -x "$wine" ] || [ ! -x "$wine_dir/wineserver" ]; then
  echo "SKIP: no wine64 at $wine_dir (install Debian's wine64 package)"
  exit 77
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/corvaldo-wine.XXXXXX")
WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
LANG=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LANG
cleanup() {
  "$wine_dir/wineserver" -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT INT TERM

"$wine" wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot could not create $prefix"; exit 1; }

key='HKLM\Software\EA SPORTS\TOTAL CLUB MANAGER 2005'
game='C:\Jogos\TCM Edição 2005'
reg() { "$wine" reg add "$key" /v "$1" /t "$2" /d "$3" /f /reg:32 >/dev/null; }
reg 'Install Dir' REG_SZ "$game\\"
reg 'Version' REG_DWORD 305419896
reg 'Data Path' REG_EXPAND_SZ '%ProgramFiles%\TCM'
reg 'Multi' REG_MULTI_SZ 'a\0b'
reg 'Blob' REG_BINARY deadbeef
# A key and a value whose names Wine writes with escapes.
"$wine" reg add "$key\\Edição [especial]" /v 'Caminho «1»' /t REG_SZ /d 'C:\Jogos\"x"' /f /reg:32 >/dev/null
"$wine" cmd /c mkdir "$game\\script" >/dev/null
"$wine" cmd /c echo 'corvaldo>' "$game\\script\\cupAlloc.txt" >/dev/null
# The registry reaches system.reg only when the server has saved it.
"$wine_dir/wineserver" -w

if ! grep -q '^\[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\]' "$prefix/system.reg"; then
  echo "FAIL: reg.exe did not write the key under Wow6432Node"
  exit 1
fi

CORVALDO_WINE_PREFIX=$prefix "$test_binary"

# Wine must see the file our layer swapped in, and the backup beside it.
out=$("$wine" cmd /c type "$game\\script\\cupAlloc.txt" | tr -d '\r')
backup=$("$wine" cmd /c type "$game\\script\\cupAlloc.backup-original.txt" | tr -d '\r')
if [ "$out" != "rewritten" ] || [ "$backup" != "corvaldo" ]; then
  echo "FAIL: Wine reads '$out' and '$backup'"
  exit 1
fi
echo "PASS"
