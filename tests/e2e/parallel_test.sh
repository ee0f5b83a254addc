#!/usr/bin/env bash
# Runs of the Linux binary started together on one installation (an
# installer's silent run while the player starts the program, a launcher
# script run twice) must end as the same runs one after another: for each mix
# of switches, reference runs one after another in every order give the
# outcomes allowed; then, loop after loop, the runs are started together (or
# a moment apart) on a fresh copy and what they leave must be one of those
# outcomes: the game files and backups byte for byte, and each run's exit
# code. Every backup must be the original, and nothing of ours may be left.
# Then a run that finds the installation held by another one: it waits, and
# goes on when the other lets go, or ends with 4 after 30 s having changed
# nothing; a dry run does not wait.
# Usage: parallel_test.sh path/to/script-corvaldo [loops]
# PARALLEL_SCALE sizes the game files (large_game.py's scale, default 0.1:
# about 4 MB, so that a run lasts long enough for others to land inside it).
set -uo pipefail
exe=$(readlink -f "$1")
loops=${2:-24}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=tests/e2e/checks.sh
. "$here/checks.sh"
command -v flock >/dev/null || { echo "SKIP: flock(1) is missing (util-linux)"; exit 77; }

game="drive_c/Games/TCM 2005"
files=(script/cupAlloc.txt database/Country38.sav database/Rules.sav)
backups=(script/cupAlloc.backup-original.txt database/Country38.backup-original.sav
  database/Rules.backup-original.sav)
python3 "$here/large_game.py" "$work/original" "${PARALLEL_SCALE:-0.1}" || exit 1
fresh() { rm -rf "$work/p"; cp -a "$work/original" "$work/p"; }
seconds() { echo "${EPOCHREALTIME/,/.}"; }

# What a run leaves: each game file's and backup's checksum ("-" when absent).
state() {
  local f
  for f in "${files[@]}" "${backups[@]}"; do
    if [ -e "$work/p/$game/$f" ]; then
      md5sum <"$work/p/$game/$f" | cut -c1-12
    else
      echo -
    fi
  done | tr '\n' ' '
}
# Names that are neither the game's files, their backups nor system.reg.
strangers() {
  (cd "$work/p" && find . -type f ! -name system.reg | grep -v -x -F \
    -e "./$game/${files[0]}" -e "./$game/${files[1]}" -e "./$game/${files[2]}" \
    -e "./$game/${backups[0]}" -e "./$game/${backups[1]}" -e "./$game/${backups[2]}")
}

# How long one run takes here, so that a run started later lands inside it.
fresh
start=$(seconds)
WINEPREFIX="$work/p" "$exe" /s /tp /r /b </dev/null
span=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
echo "parallel: one /tp /r /b run over $(du -sm "$work/original/$game" | cut -f1) MB took ${span}s"

# Each mix: its runs' switches, "+" between runs.
mixes=(
  "/s + /s /b"
  "/s /b + /s /b"
  "/s /td /b + /s /b"
  "/s /r + /s /tp /r /b"
  "/s + /s /b + /s /r /b"
  "/s /b + /s /td /b + /s /r"
)
orders2=("0 1" "1 0")
orders3=("0 1 2" "0 2 1" "1 0 2" "1 2 0" "2 0 1" "2 1 0")

RANDOM=2005
total_checked=0
total_wrong=0
report=""
for mix in "${mixes[@]}"; do
  IFS='+' read -r -a runs <<<"$mix"
  n=${#runs[@]}
  # The outcomes of the runs one after another, in every order: "codes|state",
  # the codes in the mix's order.
  declare -A serial=()
  if [ "$n" -eq 2 ]; then orders=("${orders2[@]}"); else orders=("${orders3[@]}"); fi
  for order in "${orders[@]}"; do
    fresh
    codes=()
    for i in $order; do
      # shellcheck disable=SC2086
      WINEPREFIX="$work/p" "$exe" ${runs[$i]} </dev/null
      codes[i]=$?
    done
    serial["${codes[*]}|$(state)"]=$order
  done

  checked=0 wrong=0 unlike=0 left=0
  for ((loop = 1; loop <= loops; loop++)); do
    fresh
    pids=()
    for ((i = 0; i < n; i++)); do
      # Half the loops start the runs together, the others each later run a
      # moment into the earlier ones, wherever that falls.
      if [ "$i" -gt 0 ] && [ $((loop % 2)) -eq 0 ]; then
        sleep "$(awk -v s="$span" -v r="$RANDOM" 'BEGIN{print s * r / 32768 / 2}')"
      fi
      # shellcheck disable=SC2086
      WINEPREFIX="$work/p" "$exe" ${runs[$i]} </dev/null &
      pids+=($!)
    done
    codes=()
    for ((i = 0; i < n; i++)); do
      wait "${pids[$i]}"
      codes[i]=$?
    done
    now=$(state)
    for i in 0 1 2; do
      b="$work/p/$game/${backups[$i]}"
      [ -e "$b" ] || continue
      checked=$((checked + 1))
      cmp -s "$b" "$work/original/$game/${files[$i]}" || wrong=$((wrong + 1))
    done
    if [ -z "${serial["${codes[*]}|$now"]+x}" ]; then
      unlike=$((unlike + 1))
      echo "  '$mix', loop $loop: exit codes ${codes[*]} and files $now are no serial order's" >&2
    fi
    extra=$(strangers)
    if [ -n "$extra" ]; then
      left=$((left + 1))
      echo "  '$mix', loop $loop: left behind: $extra" >&2
    fi
  done
  check "'$mix': $wrong of $checked backups are not the original" test "$wrong" -eq 0
  check "'$mix': $unlike of $loops loops unlike any serial order" test "$unlike" -eq 0
  check "'$mix': $left of $loops loops left files behind" test "$left" -eq 0
  total_checked=$((total_checked + checked))
  total_wrong=$((total_wrong + wrong))
  report+="parallel: '$mix': $loops loops, $checked backups checked, $wrong not the original,"
  report+=" $unlike loops unlike any serial order, $left with files left behind"$'\n'
  unset serial
done
printf '%s' "$report"
echo "parallel: in all $total_checked backups checked, $total_wrong not the original"

# --- a run that finds the installation held by another
# hold SECONDS: another holder takes the installation's lock, as a run of ours
# does (flock on the install folder), for that long; sets $holder.
hold() {
  (
    exec 9<"$work/p/$game"
    flock -x 9
    exec sleep "$1"
  ) &
  holder=$!
  local i
  for i in $(seq 50); do
    flock -n -x "$work/p/$game" true || return 0
    sleep 0.1
  done
  return 1
}
fresh
before=$(state)
check "held: the holder took the lock" hold 40
start=$(seconds)
WINEPREFIX="$work/p" "$exe" --dry-run /b >"$work/out" 2>"$work/err" </dev/null
code=$?
took=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
check "held: a dry run does not wait (exit $code, ${took}s)" \
  awk -v c="$code" -v t="$took" 'BEGIN{exit !(c == 0 && t < 25)}'
start=$(seconds)
WINEPREFIX="$work/p" "$exe" /b >"$work/out" 2>"$work/err" </dev/null
code=$?
took=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
check "held: exit 4 ($code)" test "$code" -eq 4
check "held: gave up after about 30 s (${took}s)" awk -v t="$took" 'BEGIN{exit !(t >= 29 && t < 45)}'
check "held: said so on stderr" grep -q "Another run is changing the game" "$work/err"
check "held: nothing changed" test "$(state)" = "$before"
check "held: nothing left behind" test -z "$(strangers)"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
holder=

fresh
check "let go: the holder took the lock" hold 3
start=$(seconds)
WINEPREFIX="$work/p" "$exe" /s /b </dev/null
code=$?
took=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
check "let go: the run waited and then did the job (exit $code, ${took}s)" \
  awk -v c="$code" -v t="$took" 'BEGIN{exit !(c == 0 && t >= 2)}'
check "let go: the backup is the original" \
  cmp -s "$work/p/$game/${backups[1]}" "$work/original/$game/${files[1]}"
wait "$holder" 2>/dev/null
holder=

echo "parallel: ${SECONDS}s"
summary parallel
