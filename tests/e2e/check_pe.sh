#!/usr/bin/env bash
# Checks what the Windows exe is made of, from its PE headers: the machine,
# a GUI program, ASLR and DEP, relocations for ASLR to use, resources linked
# in, and imports from Windows' own DLLs only (no MinGW runtime DLL beside it).
# Usage: check_pe.sh i386|x86-64 path/to/script-corvaldo.exe
set -uo pipefail
arch=$1
exe=$2
case $arch in
  i386)
    objdump=i686-w64-mingw32-objdump
    format=pei-i386
    magic=010b
    file_says='PE32 executable (GUI) Intel 80386'
    extra_flags=()
    ;;
  x86-64)
    objdump=x86_64-w64-mingw32-objdump
    format=pei-x86-64
    magic=020b
    file_says='PE32+ executable (GUI) x86-64'
    # A 64-bit exe can use the whole 64-bit address space for ASLR.
    extra_flags=(HIGH_ENTROPY_VA)
    ;;
  *)
    echo "usage: check_pe.sh i386|x86-64 exe" >&2
    exit 2
    ;;
esac
# The DLLs that every Windows since XP has in its system folder.
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok    $what"
  else
    failed=$((failed + 1))
    echo "FAIL  $what"
  fi
}

if [ ! -f "$exe" ]; then
  echo "FAIL  no file at $exe"
  exit 1
fi
headers=$("$objdump" -f "$exe")
private=$("$objdump" -p "$exe")
sections=$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2}')
dlls=$(printf '%s\n' "$private" | sed -n 's/^[[:space:]]*DLL Name: //p')
characteristics=$(printf '%s\n' "$private" |
  awk '/^DllCharacteristics/ {on=1; next} on && /^\t\t\t\t\t/ {print $1; next} {on=0}')

has() { grep -qF -- "$2" <<<"$1"; }
word() { grep -qx -- "$2" <<<"$1"; }

check "file(1): $(file -b "$exe")" has "$(file -b "$exe")" "$file_says"
check "objdump: format $format" has "$headers" "file format $format"
check "optional header magic $magic" grep -qE "^Magic[[:space:]]+$magic" <<<"$private"
check "GUI subsystem" grep -qE "^Subsystem[[:space:]]+00000002" <<<"$private"
for flag in DYNAMIC_BASE NX_COMPAT "${extra_flags[@]}"; do
  check "DllCharacteristics has $flag" word "$characteristics" "$flag"
done
check "relocations kept (.reloc), so that ASLR can move it" word "$sections" .reloc
check "resources linked in (.rsrc)" word "$sections" .rsrc
check "imports some DLLs ($(echo $dlls))" test -n "$dlls"
while read -r dll; do
  [ -n "$dll" ] && check "import $dll is a system DLL" grep -qiE "$allowed" <<<"$dll"
done <<<"$dlls"

size=$(stat -c %s "$exe")
echo "size of $(basename "$exe") ($arch): $size bytes ($(((size + 1023) / 1024)) KiB)"
echo "check_pe $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
