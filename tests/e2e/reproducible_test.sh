#!/usr/bin/env bash
# Builds each given preset a second time, later, from a copy of the source
# tree in another folder and (when run as root) as another user, and compares
# what it ships byte for byte with what the first build left in
# build/<preset>. Prints the SHA-256 of each product.
# Usage: tests/e2e/reproducible_test.sh PRESET...  (after building and packing
# each preset in this tree; presets: win32, win64, release)
set -euo pipefail
cd "$(dirname "$0")/../.."
products() { # the files a preset ships, relative to its build folder
  case $1 in
    win32) echo "script-corvaldo.exe script-corvaldo-*-win32.zip" ;;
    win64) echo "script-corvaldo.exe" ;;
    release) echo "script-corvaldo script-corvaldo-*-linux-*.tar.gz" ;;
    *) echo "reproducible: unknown preset '$1'" >&2; exit 2 ;;
  esac
}
pack() { # pack PRESET: what scripts/test does after building
  case $1 in
    win32) (cd "build/$1" && cpack -G ZIP >/dev/null) ;;
    release) (cd "build/$1" && cpack -G TGZ >/dev/null) ;;
  esac
}

work=$(mktemp -d "${TMPDIR:-/tmp}/corvaldo-again.XXXXXX")
trap 'rm -rf "$work"' EXIT
again=$work/another/place
mkdir -p "$again"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$again"
# Checked out at another time: every source file a new modification time.
find "$again" -type f -exec touch {} +
# And by another user, where this one can be someone else.
as_other=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  chown -R nobody "$work"
  as_other=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups
    env HOME="$work")
fi

failed=0
for preset in "$@"; do
  first=build/$preset
  [ -f "$first/CMakeCache.txt" ] || { echo "FAIL: $preset was not built here first"; exit 1; }
  # The date the first build wrote into its packages.
  SOURCE_DATE_EPOCH=$(sed -n 's/^CORVALDO_SOURCE_DATE_EPOCH:STRING=//p' "$first/CMakeCache.txt")
  export SOURCE_DATE_EPOCH
  (cd "$again" && "${as_other[@]}" bash -c "$(declare -f pack); set -e
    cmake --preset $preset >/dev/null; cmake --build --preset $preset -j2 >/dev/null; pack $preset")
  for pattern in $(products "$preset"); do
    # shellcheck disable=SC2086
    a=$(ls $first/$pattern) b=$(cd "$again" && ls "build/$preset"/$pattern)
    if cmp -s "$a" "$again/$b"; then
      echo "same   $(sha256sum "$a" | cut -c1-64)  $a"
    else
      echo "FAIL   $a differs from the second build's: $(cmp "$a" "$again/$b" | head -1)"
      failed=1
    fi
  done
done
exit "$failed"
