#!/usr/bin/env bash
# Checks the Linux release archive as a user gets it: exactly the binary, the
# read-me and the licence in one folder; unpacked into an empty folder, the
# binary needs no C++ runtime, prints its version and patches a copy of the
# demo installation.
# Usage: check_linux_package.sh script-corvaldo-<version>-linux-<arch>.tar.gz
set -uo pipefail
[ -f "$1" ] || { echo "linux package: no archive at $1" >&2; exit 1; }
archive=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
game="drive_c/Games/TCM 2005"
name=$(basename "$archive" .tar.gz)
version=${name#script-corvaldo-}
version=${version%-linux-*}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"

echo "$archive:"
tar -tvzf "$archive" | sed 's/^/  /'
listing=$(tar -tzf "$archive" | sort)
expected=$(printf '%s\n' "$name/LICENSE" "$name/README" "$name/script-corvaldo" | sort)
check "contents are the binary, README and LICENSE" test "$listing" = "$expected"

mkdir "$work/empty"
tar -xzf "$archive" -C "$work/empty"
dir="$work/empty/$name"
exe="$dir/script-corvaldo"
check "the binary is executable" test -x "$exe"
needed=$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
echo "  needs: $needed"
check "no C++ runtime needed ($needed)" test -z "$(grep -oE 'libstdc\+\+|libgcc_s' <<<"$needed")"
check "stripped" sh -c "! readelf -S '$exe' | grep -q '\.symtab'"
check "README explains discovery, the dry run and exit codes 3 and 64" sh -c "grep -q WINEPREFIX '$dir/README' && grep -q -- --dry-run '$dir/README' && grep -q '^  3 ' '$dir/README' && grep -q '^  64 ' '$dir/README'"
check "LICENSE is the MIT licence" grep -q "MIT License" "$dir/LICENSE"

out=$(cd "$work" && "$exe" --version)
check "--version prints $version ($out)" test "$out" = "script-corvaldo $version"

cp -a "$demo" "$work/prefix"
preview=$(cd "$work/empty" && WINEPREFIX="$work/prefix" "$exe" --dry-run /b </dev/null 2>&1)
check "demo dry run shows the change, changes nothing" sh -c "printf '%s' \"\$1\" | grep -q '^+%INDEX%CUP3\$' && diff -r '$demo' '$work/prefix' >/dev/null" - "$preview"
(cd "$work/empty" && WINEPREFIX="$work/prefix" "$exe" /s /b </dev/null)
code=$?
check "demo patch exits 0 ($code)" test "$code" -eq 0
check "demo cup script patched" test "$(sed -n 1p "$work/prefix/$game/script/cupAlloc.txt" | tr -d '\r')" = 4
check "demo backup kept" cmp -s "$demo/$game/script/cupAlloc.txt" "$work/prefix/$game/script/cupAlloc.backup-original.txt"
check "nothing written beside the binary" test "$(ls "$dir" | wc -l)" -eq 3

summary "linux package"
