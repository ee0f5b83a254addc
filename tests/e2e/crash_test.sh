#!/usr/bin/env bash
# Kills the Linux binary with SIGKILL at many points of a run over large game
# files, and checks what each kill leaves: every game file is byte for byte
# its old or its new content, every backup is absent or a whole copy of the
# original; and the next run finishes the job and leaves no temporary file,
# not even one that a kill left (a "<name>.corvaldo-XXXXXX" beside a game
# file: where the file system has unnamed temporary files, a kill leaves none
# while a file is written, only in the instant between naming it and swapping
# it in; to check the cleanup all the same, each next run also finds one
# planted beside every game file). Then the same for restores ("/u") of the
# patched files from their backups.
# Usage: crash_test.sh path/to/script-corvaldo [kills]
set -uo pipefail
exe=$(readlink -f "$1")
kills=${2:-12}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
game="drive_c/Games/TCM 2005"
files=(script/cupAlloc.txt database/Country38.sav database/Rules.sav)
backups=(script/cupAlloc.backup-original.txt database/Country38.backup-original.sav
  database/Rules.backup-original.sav)
switches=(/tp /r /b /s)
failed=0
fail() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }

python3 "$here/large_game.py" "$work/original" "${CRASH_SCALE:-0.5}" || exit 1
fresh() { rm -rf "$work/p"; cp -a "$work/original" "$work/p"; }
temps() { compgen -G "$work/p/$game/*/*.corvaldo-*"; }
seconds() { echo "${EPOCHREALTIME/,/.}"; }

# wchar PID: sets $written to the bytes the process has written so far;
# false once it is gone.
wchar() {
  local key value
  written=""
  { while read -r key value; do
    [ "$key" = wchar: ] && written=$value
  done <"/proc/$1/io"; } 2>/dev/null
  [ -n "$written" ]
}

# A clean run gives the new content and the number of bytes a whole run
# writes (backups and rewrites), so that kills can be aimed at the writing
# whatever the machine's speed.
fresh
start=$(seconds)
WINEPREFIX="$work/p" "$exe" "${switches[@]}" </dev/null &
pid=$!
most=0
while wchar "$pid"; do
  [ "$written" -gt "$most" ] && most=$written
  sleep 0.002
done
wait "$pid"
code=$?
total=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
[ "$code" -eq 0 ] || { echo "FAIL: clean run exited $code" >&2; exit 1; }
cp -a "$work/p" "$work/patched"  # what the restores below start from
mkdir -p "$work/new"
for f in "${files[@]}"; do
  mkdir -p "$work/new/$(dirname "$f")"
  cp "$work/p/$game/$f" "$work/new/$f"
  cmp -s "$work/new/$f" "$work/original/$game/$f" && fail "clean run left $f unchanged"
done
echo "crash: clean run over $(du -sm "$work/original/$game" | cut -f1) MB of game files took" \
  "${total}s and wrote at least $((most / 1048576)) MB"

# Kill points: a third spread evenly over the run's time ("1.5s"), the rest
# evenly over the bytes it writes ("w:BYTES": kill once that much is written).
points=()
timed=$((kills / 3))
for ((i = 1; i <= timed; i++)); do
  points+=("$(awk -v t="$total" -v i="$i" -v n="$((timed + 1))" 'BEGIN{print t*i/n "s"}')")
done
for ((i = 1; i <= kills - timed; i++)); do
  points+=("w:$((most * i / (kills - timed + 1)))")
done

# check_state LABEL: old or new, whole backups, only our temporary names.
check_state() {
  local label=$1 i f b
  for i in "${!files[@]}"; do
    f=${files[$i]}
    b=${backups[$i]}
    if cmp -s "$work/p/$game/$f" "$work/original/$game/$f"; then
      state+="o"
    elif cmp -s "$work/p/$game/$f" "$work/new/$f"; then
      state+="n"
    else
      state+="?"
      fail "$label: $f is neither old nor new"
    fi
    if [ -e "$work/p/$game/$b" ] && ! cmp -s "$work/p/$game/$b" "$work/original/$game/$f"; then
      fail "$label: $b is not a whole copy of the original"
    fi
  done
  while IFS= read -r extra; do
    case "$extra" in
      */cupAlloc.txt.corvaldo-?????? | */Country38.sav.corvaldo-?????? | */Rules.sav.corvaldo-?????? | \
        */*.backup-original.*.corvaldo-??????) ;;
      *) fail "$label: unexpected file $extra" ;;
    esac
  done < <(cd "$work/p" && find . -type f ! -name system.reg | grep -v -x -F \
    -e "./$game/${files[0]}" -e "./$game/${files[1]}" -e "./$game/${files[2]}" \
    -e "./$game/${backups[0]}" -e "./$game/${backups[1]}" -e "./$game/${backups[2]}")
}

interrupted=0
leftovers=0
mixed=0
recovered=0
states=""
for d in "${points[@]}"; do
  fresh
  WINEPREFIX="$work/p" "$exe" "${switches[@]}" </dev/null &
  pid=$!
  if [ "${d#w:}" != "$d" ]; then
    while wchar "$pid" && [ "$written" -lt "${d#w:}" ]; do sleep 0.001; done
  else
    sleep "${d%s}"
  fi
  kill -KILL "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null
  code=$?
  state=""
  check_state "kill at $d"
  if [ "$code" -eq 137 ]; then
    interrupted=$((interrupted + 1))
  elif [ "$code" -ne 0 ] || [ "$state" != nnn ]; then
    fail "kill at $d came after the end, but the run exited $code with files $state"
  fi
  n=$(temps | wc -l)
  leftovers=$((leftovers + n))
  case "$state" in *o*n* | *n*o*) mixed=$((mixed + 1)) ;; esac
  states+=" $state/$n"
  # The next run finishes the job and takes away every leftover of ours.
  for f in "${files[@]}" "${backups[@]}"; do
    printf 'left by a killed run' >"$work/p/$game/$f.corvaldo-$(printf '%06d' "$RANDOM")"
  done
  WINEPREFIX="$work/p" "$exe" "${switches[@]}" </dev/null
  code=$?
  state=""
  check_state "run after the kill at $d"
  [ "$code" -eq 0 ] && [ "$state" = nnn ] || fail "run after the kill at $d: exit $code, files $state"
  n=$(temps | wc -l)
  [ "$n" -eq 0 ] || fail "run after the kill at $d left $n temporary files: $(temps)"
  [ "$code" -eq 0 ] && [ "$state" = nnn ] && [ "$n" -eq 0 ] && recovered=$((recovered + 1))
done

echo "crash: ${#points[@]} kills, $interrupted mid-run, $mixed with old and new files side by side," \
  "$leftovers temporary files left by the kills, $recovered next runs finished the job and left" \
  "no temporary file"
echo "crash: files (o old, n new; script, country, rules) / temporary files left:$states"
[ "$interrupted" -gt 0 ] || fail "no kill landed while the binary was running"
[ "$recovered" -eq "${#points[@]}" ] || fail "only $recovered of ${#points[@]} next runs were clean"

# --- restores: the patched files with their backups, put back with /u and
# killed at as many points. Each game file must be patched or original, each
# backup whole, and gone only once its file is original again; the next
# restore finishes the job.
restore=(/u /s)
fresh_patched() { rm -rf "$work/p"; cp -a "$work/patched" "$work/p"; }
fresh_patched
start=$(seconds)
WINEPREFIX="$work/p" "$exe" "${restore[@]}" </dev/null &
pid=$!
most=0
while wchar "$pid"; do
  [ "$written" -gt "$most" ] && most=$written
  sleep 0.002
done
wait "$pid"
code=$?
total=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN{print b-a}')
[ "$code" -eq 0 ] || fail "clean restore exited $code"
diff -r "$work/original" "$work/p" >/dev/null || fail "clean restore did not bring back the originals"
echo "crash: clean restore took ${total}s and wrote at least $((most / 1048576)) MB"

# check_restore LABEL: appends o (original) or n (patched) per file to $state.
check_restore() {
  local label=$1 i f b
  for i in "${!files[@]}"; do
    f=$work/p/$game/${files[$i]}
    b=$work/p/$game/${backups[$i]}
    if cmp -s "$f" "$work/original/$game/${files[$i]}"; then
      state+="o"
    elif cmp -s "$f" "$work/new/${files[$i]}"; then
      state+="n"
      [ -e "$b" ] || fail "$label: ${backups[$i]} is gone, ${files[$i]} not back"
    else
      state+="?"
      fail "$label: ${files[$i]} is neither patched nor original"
    fi
    if [ -e "$b" ] && ! cmp -s "$b" "$work/original/$game/${files[$i]}"; then
      fail "$label: ${backups[$i]} is not a whole copy of the original"
    fi
  done
}
points=()
for ((i = 1; i <= timed; i++)); do
  points+=("$(awk -v t="$total" -v i="$i" -v n="$((timed + 1))" 'BEGIN{print t*i/n "s"}')")
done
for ((i = 1; i <= kills - timed; i++)); do
  points+=("w:$((most * i / (kills - timed + 1)))")
done
interrupted=0
recovered=0
states=""
for d in "${points[@]}"; do
  fresh_patched
  WINEPREFIX="$work/p" "$exe" "${restore[@]}" </dev/null &
  pid=$!
  if [ "${d#w:}" != "$d" ]; then
    while wchar "$pid" && [ "$written" -lt "${d#w:}" ]; do sleep 0.001; done
  else
    sleep "${d%s}"
  fi
  kill -KILL "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null
  code=$?
  state=""
  check_restore "restore killed at $d"
  [ "$code" -eq 137 ] && interrupted=$((interrupted + 1))
  states+=" $state/$(temps | wc -l)"
  for f in "${files[@]}" "${backups[@]}"; do
    [ -e "$work/p/$game/$f" ] &&
      printf 'left by a killed run' >"$work/p/$game/$f.corvaldo-$(printf '%06d' "$RANDOM")"
  done
  WINEPREFIX="$work/p" "$exe" "${restore[@]}" </dev/null
  code=$?
  n=$(temps | wc -l)
  if [ "$code" -eq 0 ] && diff -r "$work/original" "$work/p" >/dev/null && [ "$n" -eq 0 ]; then
    recovered=$((recovered + 1))
  else
    fail "restore after the kill at $d: exit $code, $n temporary files, originals back:" \
      "$(diff -rq "$work/original" "$work/p" >/dev/null && echo yes || echo no)"
  fi
done
echo "crash: ${#points[@]} kills during restores, $interrupted mid-run, $recovered next restores" \
  "brought back every original with no backup or temporary file left"
echo "crash: restores (o original, n patched) / temporary files left:$states"
[ "$interrupted" -gt 0 ] || fail "no kill landed while a restore was running"
[ "$failed" -eq 0 ]
