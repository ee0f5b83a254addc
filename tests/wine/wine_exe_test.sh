#!/usr/bin/env bash
# The Windows build under Wine: a throwaway prefix and a private Xvfb display
# per run, the real windows found and driven with xdotool, what they draw read
# from Wine's own traces, screenshots taken with ImageMagick's import.
#
# Usage: wine_exe_test.sh GROUP script-corvaldo.exe native-script-corvaldo \
#                         dialog_demo.exe hold_file.exe screenshot-folder
# Groups:
#   patch     the exe patches like the Linux build does on the same files
#   messages  status window, not-installed message, failure box, read-only file
#   dialog    the dialog's keys, mnemonics, clicks and drag, through dialog_demo
#   sharing   game files held open by another process
#   restore   /b, then /u: the original files back, no backup left; a file
#             changed since the patch refused and named, the others restored
#   parallel  two runs started together on one installation end as the same
#             runs one after another; a run waits for another's hold on the
#             installation, also one its holder died with, or gives up with 4
#   wow64     an i686 exe in a 64-bit prefix, as on 64-bit Windows: the registry
#             view a 32-bit process gets, and patching like the Linux build
# The exe's architecture, read from its PE header, picks the rest: an x86_64
# exe runs in a 64-bit prefix through wine64; an i686 exe in a 32-bit prefix
# through Wine's 32-bit loader, as i386 code that the kernel runs itself or
# hands to qemu-user through binfmt_misc (scripts/deps wine32 sets that up).
# Exit 0 when every check passed, 1 otherwise, 77 when Wine is not there or
# the machine cannot run i386 code at all.
set -uo pipefail

group=$1
exe=$(readlink -f "$2")
native=$3
dialog_demo=$(readlink -f "$4")
hold_file=$(readlink -f "$5")
keep_desktop_exe=$(dirname "$dialog_demo")/keep_desktop.exe
shots=$6
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../examples/demo-prefix"
# shellcheck source=tests/e2e/fs_images.sh
. "$here/../e2e/fs_images.sh"

wine_dir=${CORVALDO_WINE_DIR:-/usr/lib/wine}
wineserver=$wine_dir/wineserver
skip() {
  echo "SKIP: $*"
  exit 77
}
[ -f "$exe" ] || skip "no Windows build at $exe (cmake --preset win32 && cmake --build --preset win32, or win64)"
# The machine field of the PE header (its offset is at 0x3c, the field 4 bytes in).
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ')
case $machine in
  8664) arch=x86_64 wine=$wine_dir/wine64 winearch=win64 package=wine64 job=wine ;;
  014c) arch=i686 wine=$wine_dir/wine winearch=win32 package=wine32:i386 job="wine wine32" ;;
  *)
    echo "FAIL  $exe is no i386 or x86-64 PE file (machine '$machine')"
    exit 1
    ;;
esac
loader32=$wine_dir/wine
if [ "$group" = wow64 ]; then
  [ "$arch" = i686 ] || { echo "FAIL  the wow64 group is for an i686 exe, not $arch"; exit 1; }
  # wine64 hands a 32-bit exe to the 32-bit loader itself.
  wine=$wine_dir/wine64 winearch=win64 package="wine64 and wine32:i386"
  [ -x "$loader32" ] || skip "no wine at $wine_dir (Debian's wine32:i386 package: scripts/deps wine32)"
fi
[ -x "$wine" ] && [ -x "$wineserver" ] ||
  skip "no $(basename "$wine") at $wine_dir (Debian's $package package: scripts/deps $job)"
for tool in Xvfb xdotool xev xprop xwininfo import identify timeout; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/deps wine)"
done
[ -f "$keep_desktop_exe" ] || { echo "FAIL  no $keep_desktop_exe (built with dialog_demo)"; exit 1; }
if [[ $group == @(patch|wow64|parallel) ]] && [ ! -x "$native" ]; then
  skip "no Linux build at $native to compare with (cmake --build --preset native)"
fi
binfmt_entry=/proc/sys/fs/binfmt_misc/qemu-i386
if [ "$arch" = i686 ]; then
  # Who runs the i386 code: qemu when binfmt_misc hands it over, else the kernel.
  if [ -f "$binfmt_entry" ] && grep -qx enabled "$binfmt_entry"; then
    route="qemu-user through binfmt_misc ($(sed -n 's/^interpreter //p' "$binfmt_entry"))"
  else
    route="the kernel's own i386 support"
  fi
  if ! "$loader32" --version >/dev/null 2>&1; then
    [ -f "$binfmt_entry" ] || skip "this machine cannot run i386 code: the kernel does not, and" \
      "no binfmt_misc entry hands it to qemu-user (scripts/deps wine32 registers one where" \
      "binfmt_misc can be mounted)"
    echo "FAIL  $loader32 does not start, through $route"
    exit 1
  fi
  echo "i686: 32-bit Wine runs through $route"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvaldo-wine-$group.XXXXXX")
prefix=$work/prefix
game_unix="$prefix/drive_c/Games/TCM 2005"
game_win='C:\Games\TCM 2005'
key='HKLM\Software\EA SPORTS\TOTAL CLUB MANAGER 2005'
mkdir -p "$shots"
export WINEPREFIX=$prefix WINEARCH=$winearch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  LC_ALL=C.UTF-8
unset WINELOADER WINESERVER
# How long any one awaited state may take: the i686 exe runs through qemu-user,
# and on a loaded 2-core machine its first window can take a minute to show.
# Every wait ends as soon as its state is there, so only a check that is about
# to fail waits this long.
patience=${CORVALDO_WINE_PATIENCE:-240}
# A whole run over the large installation, i386 code through qemu, may take
# several times that on such a machine.
run_patience=$((patience * 3))

xvfb_pid=
watch_pid=
cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
  [ -d "$prefix" ] && "$wineserver" -k 2>/dev/null
  fs_cleanup
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "ok    $1"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL  $1"
}
check() { # check "what" command...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish_group() {
  echo "wine $group $arch: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
  exit $?
}

# --- waiting

# alive PID: the process is there and not a zombie.
alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}
# await [-p PID] COMMAND...: true as soon as COMMAND succeeds (tried every tenth
# of a second), false once $patience seconds have passed, or with -p once
# process PID is gone and COMMAND still fails.
await() {
  local owner=""
  if [ "$1" = -p ]; then
    owner=$2
    shift 2
  fi
  local deadline=$((SECONDS + patience))
  until "$@"; do
    if [ -n "$owner" ] && ! alive "$owner"; then
      "$@"
      return
    fi
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# --- the display and the prefix

# A display nobody uses: Xvfb picks the number itself and tells us once it
# listens; then it must answer a client.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  await -p "$xvfb_pid" test -s "$work/display" ||
    { echo "FAIL  Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
  await -p "$xvfb_pid" eval 'xwininfo -root >/dev/null 2>&1' ||
    { echo "FAIL  Xvfb on $DISPLAY does not answer: $(cat "$work/xvfb.log")"; exit 1; }
}

registry() { "$wine" reg "$@" >/dev/null 2>&1; }
install_game() { registry add "$key" /v "Install Dir" /t REG_SZ /d "$game_win\\" /f /reg:32; }
uninstall_game() { registry delete "$key" /v "Install Dir" /f /reg:32; }
# installation NAME: prints the folder whose drive_c/Games is that game:
# demo, the bundled demo installation; large, one of tens of MB, so that
# reading and writing cross every buffer boundary many times over.
installation() {
  case $1 in
    demo) echo "$demo" ;;
    large)
      [ -d "$work/large" ] || python3 "$here/../e2e/large_game.py" "$work/large" >&2
      echo "$work/large"
      ;;
  esac
}
# reset_game [NAME]: a fresh copy of that installation (the demo) in the prefix.
reset_game() {
  chmod -R u+w "$prefix/drive_c/Games" 2>/dev/null
  rm -rf "$prefix/drive_c/Games"
  cp -a "$(installation "${1:-demo}")/drive_c/Games" "$prefix/drive_c/"
}

# make_prefix [save]: with "save", the registry is on disk before the runs.
make_prefix() {
  start_display
  local started=$SECONDS
  "$wine" wineboot -i >"$work/wineboot.log" 2>&1 ||
    { echo "FAIL  wineboot could not create the prefix: $(tail -5 "$work/wineboot.log")"; exit 1; }
  # Wine draws the windows' frames itself, so that an X window is the whole
  # Win32 window (frame and caption included) and its size is the outer size.
  # Unmanaged, because Xvfb has no window manager and Wine would wait two
  # seconds for one each time a window is hidden.
  registry add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f
  registry add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  # The frame's caption buttons are drawn with Marlett, which Debian's Wine
  # ships but does not put where the prefix looks.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && cp -n "$marlett" "$prefix/drive_c/windows/Fonts/"
  install_game
  reset_game
  # The Linux build reads the registry from system.reg: let the server save it.
  [ "${1:-}" = save ] && "$wineserver" -w
  # One server for all the runs of this group.
  "$wineserver" -p
  keep_desktop
  echo "prefix ready in $((SECONDS - started)) s, DISPLAY=$DISPLAY"
}

# Wine's desktop process (explorer.exe) lives only while some program uses
# the desktop. A program that finds it gone starts it again and waits ten
# seconds for it; through qemu on a busy machine that is too short, and the
# program's first window fails ("The explorer process failed to start").
# So a helper holds the desktop for the whole group (the server's end ends
# it), started again until it is up with the desktop's windows there. i386
# code under qemu-user now and then hangs before its first window; a helper
# that has shown no desktop for a third of the patience is given up and
# another one started (the server's end stops the stuck one).
desktop_held() {
  if [ -n "$keeper" ] && alive "$keeper"; then
    xdotool search --classname '^explorer\.exe$' >/dev/null 2>&1 && return 0
    [ $((SECONDS - keeper_since)) -ge $((patience / 3)) ] || return 1
    kill "$keeper" 2>/dev/null
    echo "      the desktop's holder showed no desktop in $((SECONDS - keeper_since)) s: another one"
  elif [ -n "$keeper" ]; then
    wait "$keeper"
    echo "      the desktop's holder ended ($?) with no desktop: another one"
  fi
  keepers=$((keepers + 1))
  WINEDEBUG=-all,err+all "$wine" "$keep_desktop_exe" </dev/null >/dev/null 2>"$work/keeper-$keepers.err" &
  keeper=$! keeper_since=$SECONDS
  return 1
}
keep_desktop() {
  keeper= keepers=0
  await desktop_held && return
  echo "FAIL  Wine's desktop (explorer.exe) did not come up in $patience s ($keepers holders)"
  echo "      the last holder said: $(tail -5 "$work/keeper-$keepers.err" 2>/dev/null)"
  echo "      Wine's processes: "
  ps -eo pid,stat,etimes,args | grep -iE '[w]ine|[q]emu|[.]exe' | cut -c1-160 | sed 's/^/        /'
  echo "      windows: $(xdotool search --name '' 2>/dev/null | wc -l)," \
    "explorer's: $(xdotool search --classname explorer 2>/dev/null | wc -l)"
  exit 1
}

# --- processes

# start NAME PROGRAM ARGS...: starts PROGRAM under Wine in the background; its
# stderr goes to $work/NAME.err. Sets $pid. The time limit only stops what
# the waits below have given up on.
start() {
  local name=$1
  shift
  timeout -k 5 $((patience * 5)) "$wine" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null &
  pid=$!
}
# finish [SECONDS]: waits for the started program to end ($patience seconds
# at most); sets $code (124 when it had to be stopped).
finish() {
  local deadline=$((SECONDS + ${1:-$patience})) late=0
  while running && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.1
  done
  if running; then
    late=1
    kill "$pid" 2>/dev/null
  fi
  wait "$pid"
  code=$?
  [ "$late" -eq 0 ] || code=124
}
running() { alive "$pid"; }
# run PROGRAM ARGS...: runs to the end; sets $code.
run() {
  start run "$@"
  finish "$run_patience"
}

# --- windows

# window NAME [STEP]: prints the id of the visible window titled NAME, looking
# every STEP seconds (0.1) while the started program runs.
window() {
  local name=$1 step=${2:-0.1} id deadline=$((SECONDS + patience)) last=0
  while :; do
    running && [ "$SECONDS" -lt "$deadline" ] || last=1
    id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    [ "$last" -eq 0 ] || return 1
    sleep "$step"
  done
}
no_window() { # no_window NAME: true when no visible window has that title
  [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]
}
# geometry ID: "X Y W H" of the window on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {print x, y, w, h}'
}
size_of() { geometry "$1" | awk '{print $3 "x" $4}'; }
# keys ID KEY...: focuses the window and types the keys.
keys() {
  local id=$1
  shift
  timeout "$patience" xdotool windowfocus --sync "$id" >/dev/null 2>&1 ||
    echo "      window $id did not take the focus"
  xdotool key "$@"
}
click() { # click ID X Y: a left click at a point of the window
  xdotool mousemove --sync --window "$1" "$2" "$3" click 1
}
# at_geometry ID "X Y W H": the window is there now.
at_geometry() { [ "$(geometry "$1")" = "$2" ]; }
moved_from() { ! at_geometry "$@"; }
# handled ID X Y: true once the dialog, which stood at X Y, has taken in all
# the input sent to it so far without moving: it handles its input in order,
# so a drag by its picture sent after that input moves it only then. The drag
# moves it one pixel right and down, from a point of the picture that no
# button or text covers in any kind.
handled() {
  local id=$1 x=$2 y=$3 w h
  read -r _ _ w h < <(geometry "$id")
  xdotool mousemove --sync $((x + 10)) $((y + 125)) mousedown 1 \
    mousemove --sync $((x + 11)) $((y + 126)) mouseup 1
  # The first move seen is the drag's, unless that input moved the window.
  await -p "$pid" moved_from "$id" "$x $y $w $h" &&
    at_geometry "$id" "$((x + 1)) $((y + 1)) $w $h"
}
# grab ID FILE: the window's pixels now. import grabs the X server while it
# works, so it must never be left hanging on a window that went away.
grab() { timeout 60 import -window "$1" "$2" 2>/dev/null; }
# shot ID FILE SIZE [PAINTED]: the window's pixels once it has painted (a
# window is mapped before it has painted; under qemu that shows): the command
# PAINTED (shows_text) holds for the picture, and two in a row agree.
shot() {
  local id=$1 file=$2 size=$3 painted=${4:-shows_text} previous="" current
  local deadline=$((SECONDS + patience))
  while :; do
    grab "$id" "$work/shot.png" || return 1
    current=$(md5sum <"$work/shot.png")
    [ "$current" = "$previous" ] && $painted "$work/shot.png" && break
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "      $file: not painted after $patience s"
      return 1
    fi
    previous=$current
    sleep 0.3
  done
  mv "$work/shot.png" "$shots/$file" && [ "$(identify -format %wx%h "$shots/$file")" = "$size" ]
}
# dark_pixels FILE [AREA]: how many pixels of the picture (or of its AREA,
# WxH+X+Y) are dark, and how many there are.
dark_pixels() {
  convert "$1" ${2:+-crop "$2" +repage} -colorspace gray -threshold 25% \
    -format '%[fx:int(w*h*(1-mean)+0.5)] %[fx:w*h]' info: 2>/dev/null
}
# shows_text FILE [AREA]: the picture shows text: some dark pixels, but far
# from all of them (unpainted, a window is all one colour).
shows_text() {
  local dark all
  read -r dark all < <(dark_pixels "$@")
  [ -n "$all" ] && [ "$dark" -ge 100 ] && [ $((dark * 10)) -le "$all" ]
}
# label_painted FILE: the status window's picture shows text in its label:
# some text-coloured pixels there, but far from all of them.
label_painted() {
  local black
  black=$(convert "$1" -crop 310x91+5+31 +repage -fill white +opaque black \
    -format '%[fx:int(w*h*(1-mean)+0.5)]' info: 2>/dev/null)
  [ -n "$black" ] && [ "$black" -ge 200 ] && [ "$black" -le 7000 ]
}

# Everything that gets mapped on the display while a run lasts, from the X
# server's own notifications (a window that lives a few milliseconds is seen).
# A mark, a property set on the root window, shows when xev listens, and when
# it has seen all that came before.
watch_start() {
  : >"$work/xev.log"
  stdbuf -oL xev -root -event substructure -event property >>"$work/xev.log" 2>&1 &
  watch_pid=$!
  watch_mark || { echo "FAIL  xev does not listen: $(tail -5 "$work/xev.log")"; exit 1; }
}
watch_stop() {
  watch_mark || echo "      xev did not see the last mark"
  kill "$watch_pid" 2>/dev/null
  wait "$watch_pid" 2>/dev/null
  watch_pid=
}
marks_seen() { grep -c '(_CORVALDO_WATCH)' "$work/xev.log"; }
# watch_mark: sets the mark until xev reports it (it may not listen yet).
watch_mark() {
  local before
  before=$(marks_seen)
  mark_seen() {
    [ "$(marks_seen)" -gt "$before" ] && return 0
    xprop -root -f _CORVALDO_WATCH 8s -set _CORVALDO_WATCH mark
    [ "$(marks_seen)" -gt "$before" ]
  }
  await -p "$watch_pid" mark_seen
}
mapped_count() { grep -c '^MapNotify' "$work/xev.log"; }
# mapped_size W H: true when a window of that size was created and mapped.
mapped_size() {
  local id
  for id in $(awk -v w="$1" -v h="$2" '/^CreateNotify/ {getline; if ($0 ~ "width " w ", height " h) {
      sub(/.*window /, ""); sub(/,.*/, ""); print}}' "$work/xev.log"); do
    grep -A2 '^MapNotify' "$work/xev.log" | grep -q "window $id," && return 0
  done
  return 1
}

# drawn FILE TEXT...: Wine's trace (+text) shows each TEXT drawn as one line;
# TEXT is written as Wine prints wide strings (\00e3 for U+00E3, \\ for \).
drawn() {
  local file=$1 text
  shift
  for text in "$@"; do
    if ! grep -qF "DrawTextExW L\"$text\"," "$file"; then
      echo "      not drawn: $text; drawn were:"
      grep -o 'DrawTextExW L".*",' "$file" | sort -u | sed 's/^/        /'
      return 1
    fi
  done
}
not_drawn() { ! grep -qF "DrawTextExW L\"$2\"," "$1"; }
matches() { [[ $1 =~ $2 ]]; }

unchanged() { diff -r "$demo/drive_c/Games" "$prefix/drive_c/Games" >/dev/null; }
# Our temporary names: "<name>.corvaldo-N..." and "-O...", "~scv..." in deep folders.
temporaries() { find "$1" -name '*.corvaldo-*' -o -name '~*'; }
no_temporaries() { [ -z "$(temporaries "$prefix/drive_c/Games")" ]; }

# --- the groups

group_patch() {
  make_prefix save
  # A prefix-shaped folder for the Linux build: the registry Wine wrote, and
  # its own copy of the game.
  local base=$work/native-base
  mkdir -p "$base/drive_c"
  cp "$prefix/system.reg" "$base/"
  # installation | switches
  local cases=(
    "demo|/s"
    "demo|/s /td"
    "demo|/s /r"
    "demo|/s /b"
    "demo|/s /TD /R /B"
    "large|/s /b"
    "large|/s /td /r"
  )
  local n=0 line game args what
  local -A mirror_of # case -> the Linux build's result
  for line in "${cases[@]}"; do
    IFS='|' read -r game args <<<"$line"
    what="$game '$args'"
    n=$((n + 1))
    local mirror=$work/native-$n
    mirror_of[$line]=$mirror
    cp -a "$base" "$mirror"
    cp -a "$(installation "$game")/drive_c/Games" "$mirror/drive_c/"
    # shellcheck disable=SC2086
    WINEPREFIX=$mirror "$native" $args </dev/null >/dev/null 2>&1
    local native_code=$?
    reset_game "$game"
    watch_start
    # shellcheck disable=SC2086
    run "$exe" $args
    watch_stop
    check "$what: exit 0 as the Linux build ($code, $native_code)" \
      test "$code" -eq 0 -a "$native_code" -eq 0
    check "$what: the same bytes as the Linux build" \
      diff -r "$mirror/drive_c/Games" "$prefix/drive_c/Games"
    check "$what: the files did change" test -n "$(diff -rq \
      "$(installation "$game")/drive_c/Games" "$prefix/drive_c/Games")"
    check "$what: no temporary file left" no_temporaries
    check "$what: no window was mapped ($(mapped_count))" test "$(mapped_count)" -eq 0
    if [ "$args" = "/s /b" ]; then
      # Again, over its own result: nothing is written, not even a timestamp.
      cp -a "$prefix/drive_c/Games" "$work/after-first"
      touch -d '2001-01-01' "$game_unix"/*/*
      local stamps
      stamps=$(stat -c '%n %Y' "$game_unix"/*/*)
      run "$exe" /s /b
      check "$game, second run: exit 0" test "$code" -eq 0
      check "$game, second run: writes nothing" diff -r "$work/after-first" "$prefix/drive_c/Games"
      check "$game, second run: timestamps kept" \
        test "$(stat -c '%n %Y' "$game_unix"/*/*)" = "$stamps"
      WINEPREFIX=$mirror "$native" /s /b </dev/null >/dev/null 2>&1
      check "$game, second run: still the Linux build's bytes" \
        diff -r "$mirror/drive_c/Games" "$prefix/drive_c/Games"
      rm -rf "$work/after-first"
    fi
  done

  patch_letter_case "$base"
  patch_on_drives

  # Not silent: the status window shows, and the run ends by itself.
  reset_game
  watch_start
  start visible "$exe"
  finish "$run_patience"
  watch_stop
  check "without /s: the run ends by itself with 0 ($code)" test "$code" -eq 0
  check "without /s: the 320x127 status window was mapped" mapped_size 320 127
  check "without /s: no dialog was mapped" bash -c "! grep -q 'width 313, height 132' '$work/xev.log'"
  check "without /s: the same bytes as the silent run" \
    diff -r "${mirror_of[demo|/s]}/drive_c/Games" "$prefix/drive_c/Games"

  # Not silent, on the large installation: while the files are patched, the
  # status window shows its text (what Wine painted has reached the screen).
  reset_game large
  local status started_ns elapsed_ms=0 seen=0 painted=0
  started_ns=$(date +%s%N)
  start visible-large "$exe"
  if status=$(window 'Script Corvaldo' 0.02); then
    while running; do
      grab "$status" "$work/patching.png" || continue
      seen=$((seen + 1))
      if label_painted "$work/patching.png"; then
        painted=1
        cp "$work/patching.png" "$shots/status-window-patching.png"
        break
      fi
      sleep 0.05
    done
  fi
  finish "$run_patience"
  elapsed_ms=$((($(date +%s%N) - started_ns) / 1000000))
  check "large, without /s: exit 0 ($code)" test "$code" -eq 0
  check "large, without /s: the same bytes as the silent run, less the backups" \
    diff -r -x '*.backup-original.*' \
    "${mirror_of[large|/s /b]}/drive_c/Games" "$prefix/drive_c/Games"
  if [ "$painted" -eq 1 ] || [ "$elapsed_ms" -ge 1000 ]; then
    check "large, without /s: the status window showed its text while the run lasted" \
      test "$painted" -eq 1
  else
    # A window up for a split second may be gone before it can be looked at.
    echo "note  large, without /s: the run took $elapsed_ms ms, too short to look at" \
      "its status window ($seen pictures taken)"
  fi
}

# respell GAME SCRIPT COUNTRY RULES: the demo installation at GAME, its three
# files at the given paths (folders included) instead of ours.
respell() {
  local game=$1 from="$demo/drive_c/Games/TCM 2005"
  chmod -R u+w "$game" 2>/dev/null
  rm -rf "$game"
  mkdir -p "$game/$(dirname "$2")" "$game/$(dirname "$3")" "$game/$(dirname "$4")"
  cp "$from/script/cupAlloc.txt" "$game/$2"
  cp "$from/database/Country38.sav" "$game/$3"
  cp "$from/database/Rules.sav" "$game/$4"
}
names_in() { (cd "$1" && find . | LC_ALL=C sort); }

# patch_letter_case BASE: installations whose folders and files are spelled
# otherwise than we spell them (as installers, CDs and FAT volumes leave
# them): the exe writes the Linux build's bytes, and no name changes.
case_spellings=(
  "SCRIPT/CUPALLOC.TXT DataBase/country38.SAV DataBase/RULES.sav"
  "Script/CupAlloc.Txt DATABASE/COUNTRY38.SAV DATABASE/rules.SAV"
)
patch_letter_case() {
  local base=$1 spelling n=0
  for spelling in "${case_spellings[@]}"; do
    n=$((n + 1))
    local script_at country_at rules_at
    read -r script_at country_at rules_at <<<"$spelling"
    local mirror=$work/native-case-$n
    cp -a "$base" "$mirror"
    respell "$mirror/drive_c/Games/TCM 2005" "$script_at" "$country_at" "$rules_at"
    WINEPREFIX=$mirror "$native" /s /tp /r /b </dev/null >/dev/null 2>&1
    local native_code=$?
    respell "$game_unix" "$script_at" "$country_at" "$rules_at"
    local before
    before=$(names_in "$game_unix")
    run "$exe" /s /tp /r /b
    check "$spelling: exit 0 as the Linux build ($code, $native_code)" \
      test "$code" -eq 0 -a "$native_code" -eq 0
    check "$spelling: the same names and bytes as the Linux build" \
      diff -r "$mirror/drive_c/Games" "$prefix/drive_c/Games"
    local original="$demo/drive_c/Games/TCM 2005" changed=0
    cmp -s "$original/script/cupAlloc.txt" "$game_unix/$script_at" || changed=$((changed + 1))
    cmp -s "$original/database/Country38.sav" "$game_unix/$country_at" || changed=$((changed + 1))
    cmp -s "$original/database/Rules.sav" "$game_unix/$rules_at" || changed=$((changed + 1))
    check "$spelling: all three files patched ($changed)" test "$changed" -eq 3
    local expected
    expected=$(printf '%s\n' "$before" "./$(dirname "$script_at")/cupAlloc.backup-original.txt" \
      "./$(dirname "$country_at")/Country38.backup-original.sav" \
      "./$(dirname "$rules_at")/Rules.backup-original.sav" | LC_ALL=C sort)
    check "$spelling: no folder or file renamed, the backups beside them" \
      test "$(names_in "$game_unix")" = "$expected"
  done
  reset_game
}

# patch_on_drives: the game on an NTFS (ntfs-3g) and an exFAT (exfat-fuse)
# image, reached through drive D: as players link a Windows partition or an
# external drive, its names spelled as patch_letter_case's first case: the
# exe writes the bytes the Linux build wrote there, and changes no name.
patch_on_drives() {
  local why kind missing
  fs_init "$work/images"
  why=$(fs_unusable)
  if [ -n "$why" ]; then
    echo "note  NTFS and exFAT drives not tried: $why"
    return
  fi
  local script_at country_at rules_at mirror=$work/native-case-1
  read -r script_at country_at rules_at <<<"${case_spellings[0]}"
  registry add "$key" /v "Install Dir" /t REG_SZ /d 'D:\TCM 2005\' /f /reg:32
  for kind in ntfs exfat; do
    missing=$(fs_missing "$kind")
    if [ -n "$missing" ]; then
      fail "$kind drive: $missing missing (scripts/deps filesystems)"
      continue
    fi
    local drive=$work/drive-$kind
    fs_mount "$kind" "$drive" || { fail "$kind drive: could not be mounted"; continue; }
    ln -sfn "$drive" "$prefix/dosdevices/d:"
    respell "$drive/TCM 2005" "$script_at" "$country_at" "$rules_at"
    local before
    before=$(names_in "$drive")
    run "$exe" /s /tp /r /b
    check "$kind drive D: exit 0 ($code)" test "$code" -eq 0
    check "$kind drive D: the same names and bytes as the Linux build" \
      diff -r "$mirror/drive_c/Games/TCM 2005" "$drive/TCM 2005"
    check "$kind drive D: no name changed" \
      test -z "$(comm -23 <(echo "$before") <(names_in "$drive"))"
    check "$kind drive D: no temporary file left" test -z "$(temporaries "$drive")"
    rm -f "$prefix/dosdevices/d:"
    fs_cleanup
  done
  install_game
}

# dialog_on_screen FILE: the screen's picture shows the dialog painted.
dialog_on_screen() {
  local x y w h
  read -r x y w h < <(geometry "$dialog")
  shows_text "$1" "${w}x$h+$x+$y"
}

group_messages() {
  make_prefix
  uninstall_game

  # Not installed: the status window stays up behind the dialog until it is
  # answered; Enter, Esc and C each answer it.
  local k first=1 status dialog
  for k in Return Escape c; do
    WINEDEBUG=-all,+text start "not-installed-$k" "$exe"
    if ! dialog=$(window Mensagensfrm); then
      fail "not installed ($k): no dialog appeared"
      finish 1
      continue
    fi
    pass "not installed ($k): the dialog appeared"
    if [ "$first" = 1 ]; then
      first=0
      check "dialog: 313x132, centred on the screen" test "$(geometry "$dialog")" = "355 318 313 132"
      if status=$(window 'Script Corvaldo'); then
        pass "status window: up, captioned 'Script Corvaldo', while the dialog waits"
        check "status window: 320x127, centred on the screen" \
          test "$(geometry "$status")" = "352 320 320 127"
      else
        fail "status window: not shown while the dialog waits"
      fi
      check "screenshot: the dialog over the status window" \
        shot root screen-not-installed.png 1024x768 dialog_on_screen
      # Dragged by its picture below the text; the status window comes free.
      local bx by after
      read -r bx by _ _ < <(geometry "$dialog")
      xdotool mousemove --sync $((bx + 30)) $((by + 115)) mousedown 1 sleep 0.2 \
        mousemove --sync $((bx + 70)) $((by + 140)) sleep 0.2 \
        mousemove --sync $((bx + 70)) $((by + 385)) sleep 0.2 mouseup 1
      await -p "$pid" at_geometry "$dialog" "$((bx + 40)) $((by + 270)) 313 132"
      after=$(geometry "$dialog")
      check "dialog: dragged by exactly the pointer's way (40, 270): $after" \
        test "$after" = "$((bx + 40)) $((by + 270)) 313 132"
      # What the dialog covered comes back as the status window repaints it.
      [ -n "${status:-}" ] &&
        check "screenshot: status window" shot "$status" status-window.png 320x127 label_painted
      check "screenshot: not-installed dialog" shot "$dialog" dialog-not-installed.png 313x132
    fi
    keys "$dialog" "$k"
    finish
    check "not installed ($k): answered, exit 0 ($code)" test "$code" -eq 0
    if [ "$k" = Return ]; then
      local err=$work/not-installed-$k.err
      check "status window drew its five lines" drawn "$err" "Actualizando o script da Corvaldo..." \
        "Aguarde" "Updating the Portuguese FA Cup script..." "Please Wait."
      check "status window drew its caption" drawn "$err" "Script Corvaldo"
      check "dialog drew the not-installed text" drawn "$err" 'O TCM 2005 n\00e3o est\00e1 instalado!'
      check "dialog drew Continuar" drawn "$err" "&Continuar"
      check "dialog drew no other button" eval 'not_drawn "$err" "&Sim" &&
        not_drawn "$err" "&N\00e3o" && not_drawn "$err" "&Cancelar"'
    fi
  done
  watch_start
  run "$exe" /s
  watch_stop
  check "not installed, /s: exit 0 and no window ($code, $(mapped_count))" \
    test "$code" -eq 0 -a "$(mapped_count)" -eq 0

  # A registry value that is not text: the failure box, silent or not.
  registry add "$key" /v "Install Dir" /t REG_DWORD /d 5 /f /reg:32
  WINEDEBUG=-all,+msgbox start failure "$exe" /s
  local box
  if box=$(window 'Application Error'); then
    pass "REG_DWORD: a box titled 'Application Error' appeared"
    shot "$box" failure-box.png "$(size_of "$box")"
    check "screenshot: failure box" test -s "$shots/failure-box.png"
    keys "$box" Return
  else
    fail "REG_DWORD: no 'Application Error' box"
  fi
  finish
  check "REG_DWORD: exit 1 ($code)" test "$code" -eq 1
  # The box's text as Wine's MessageBox received it (CR LF shown as \r\n).
  local text
  text=$(sed -n 's/.*MSGBOX_OnInit L"\(.*\)"$/\1/p' "$work/failure.err")
  local expected='^Exception ERegistryException in module script-corvaldo\.exe at [0-9A-F]{8}\.'
  expected+="\\\\r\\\\nInvalid data type for 'Install Dir'\\.\\\\r\\\\n\$"
  check "REG_DWORD: the box's exact text: $text" matches "$text" "$expected"
  check "REG_DWORD: the game files untouched" unchanged

  # A read-only game file: the write-failure message, exit 2.
  install_game
  reset_game
  "$wine" attrib +r "$game_win\\script\\cupAlloc.txt" >/dev/null 2>&1
  check "read-only: attrib +r took ($(stat -c %A "$game_unix/script/cupAlloc.txt"))" \
    test "$(stat -c %A "$game_unix/script/cupAlloc.txt")" = -r--r--r--
  WINEDEBUG=-all,+text start read-only "$exe"
  if dialog=$(window Mensagensfrm); then
    pass "read-only: the write-failure dialog appeared"
    check "screenshot: write-failure dialog" shot "$dialog" dialog-not-written.png 313x132
    keys "$dialog" Return
  else
    fail "read-only: no write-failure dialog"
  fi
  finish
  check "read-only: exit 2 ($code)" test "$code" -eq 2
  check "read-only: dialog names the file" drawn "$work/read-only.err" \
    'N\00e3o foi poss\00edvel gravar:' 'Could not write:' 'script\\cupAlloc.txt' '&Continuar'
  chmod -R u+w "$prefix/drive_c/Games"
  check "read-only: nothing written (the country file waits for the cup)" unchanged
  check "read-only: no temporary file left" no_temporaries
  "$wine" attrib +r "$game_win\\script\\cupAlloc.txt" >/dev/null 2>&1
  watch_start
  run "$exe" /s
  watch_stop
  check "read-only, /s: exit 2 and no window ($code, $(mapped_count))" \
    test "$code" -eq 2 -a "$(mapped_count)" -eq 0

  # /b with something at the backup's name that is no file: no backup, so no
  # rewrite, exit 2. A dangling link is no name at all to a program under
  # Wine, so the backup takes its place there.
  local what expect at="$game_unix/script/cupAlloc.backup-original.txt"
  local script="$demo/drive_c/Games/TCM 2005/script/cupAlloc.txt"
  for what in folder:2 fifo:2 dangling-link:0; do
    expect=${what#*:} what=${what%:*}
    reset_game
    case $what in
      folder) mkdir "$at" ;;
      fifo) mkfifo "$at" ;;
      dangling-link) ln -s nowhere.txt "$at" ;;
    esac
    run "$exe" /s /b
    check "a $what at the backup's name, /b: exit $expect ($code)" test "$code" -eq "$expect"
    if [ "$expect" -eq 2 ]; then
      check "a $what at the backup's name: the cup script as it was" cmp "$script" \
        "$game_unix/script/cupAlloc.txt"
      check "a $what at the backup's name: left as it was" test -e "$at" -a ! -f "$at"
    else
      check "a $what at the backup's name: the backup is the original" cmp "$script" "$at"
    fi
    check "a $what at the backup's name: no temporary file left" no_temporaries
  done
}

group_dialog() {
  make_prefix

  # kind | keys ignored first | the answering input | result
  local cases=(
    "0||Return|1"
    "0||Escape|1"
    "0||c|1"
    "0|s n ctrl+c|alt+c|1"
    "1||s|1"
    "1||n|0"
    "1|Return Escape c ctrl+s|shift+s|1"
    "1||alt+n|0"
    "2||s|1"
    "2||n|0"
    "2||Escape|2"
    "2||c|2"
    "2|Return ctrl+s ctrl+n|alt+s|1"
    "2||click:218,108|2"
    "2||click:150,108|0"
    "2||click:40,108|1"
    "1|click:150,40|click:260,108|0"
    "0||click:156,108|1"
  )
  local line kind ignored answer expect dialog k
  for line in "${cases[@]}"; do
    IFS='|' read -r kind ignored answer expect <<<"$line"
    local what="kind $kind: ${ignored:+$ignored ignored, }$answer gives $expect"
    start dialog "$dialog_demo" "$kind" "Pergunta"
    if ! dialog=$(window Mensagensfrm); then
      fail "$what: no dialog"
      finish 1
      continue
    fi
    local alive=1 dx dy
    read -r dx dy _ _ < <(geometry "$dialog")
    for k in $ignored; do
      if [[ $k == click:* ]]; then
        IFS=, read -r x y <<<"${k#click:}"
        click "$dialog" "$x" "$y"
      else
        keys "$dialog" "$k"
      fi
      # Taken in first, then still up a moment later.
      if handled "$dialog" "$dx" "$dy"; then
        dx=$((dx + 1)) dy=$((dy + 1))
      else
        echo "      $what: the dialog did not take $k in, or moved"
        alive=0
      fi
      sleep 0.4
      running || alive=0
    done
    if [[ $answer == click:* ]]; then
      IFS=, read -r x y <<<"${answer#click:}"
      click "$dialog" "$x" "$y"
    else
      keys "$dialog" "$answer"
    fi
    finish
    check "$what ($code)" test "$alive" -eq 1 -a "$code" -eq "$expect"
  done

  # The drag: from the picture below the text, also with the pointer outside
  # the window; a press on the text moves nothing.
  start dialog "$dialog_demo" 0 "Arraste-me"
  if dialog=$(window Mensagensfrm); then
    local bx by after
    read -r bx by _ _ < <(geometry "$dialog")
    xdotool mousemove --sync $((bx + 150)) $((by + 40)) mousedown 1 sleep 0.2 \
      mousemove --sync $((bx + 190)) $((by + 70)) sleep 0.2 mouseup 1
    check "a press on the text does not drag" handled "$dialog" "$bx" "$by"
    bx=$((bx + 1)) by=$((by + 1))
    xdotool mousemove --sync $((bx + 30)) $((by + 115)) mousedown 1 sleep 0.2 \
      mousemove --sync $((bx + 60)) $((by + 95)) sleep 0.2 \
      mousemove --sync $((bx - 300)) $((by + 400)) sleep 0.2 mouseup 1
    await -p "$pid" at_geometry "$dialog" "$((bx - 330)) $((by + 285)) 313 132"
    after=$(geometry "$dialog")
    check "the drag moves the window by the pointer's way (-330, 285): $after" \
      test "$after" = "$((bx - 330)) $((by + 285)) 313 132"
    keys "$dialog" Return
  else
    fail "drag: no dialog"
  fi
  finish

  # Screenshots of the three kinds, pointer out of the way.
  xdotool mousemove 0 0
  local texts=(
    'Deseja continuar?'
    'Deseja gravar as altera\xE7\xF5es?'
    'Deseja gravar as altera\xE7\xF5es?\x0D\x0AO jogo ser\xE1 alterado.'
  )
  for kind in 0 1 2; do
    start dialog "$dialog_demo" "$kind" "${texts[$kind]}"
    if dialog=$(window Mensagensfrm); then
      check "screenshot: kind $kind" shot "$dialog" "dialog-kind$kind.png" 313x132
      if [ "$kind" = 1 ]; then keys "$dialog" n; else keys "$dialog" Escape; fi
    else
      fail "screenshot: no dialog of kind $kind"
    fi
    finish
  done
}

group_sharing() {
  make_prefix
  # What an undisturbed default run writes, to compare with.
  run "$exe" /s
  cp -a "$prefix/drive_c/Games" "$work/patched"
  local hold_dir="$prefix/drive_c/hold"

  # hold MODE FILE: another process keeps FILE (relative to the game) open.
  hold() {
    rm -rf "$hold_dir"
    mkdir -p "$hold_dir"
    timeout -k 5 $((patience * 5)) "$wine" "$hold_file" "$1" "$game_win\\$2" 'C:\hold\ready' \
      'C:\hold\release' >"$work/hold.out" 2>&1 </dev/null &
    holder=$!
    await -p "$holder" test -e "$hold_dir/ready"
  }
  release() {
    touch "$hold_dir/release"
    wait "$holder"
    holder_code=$?
  }

  # mode | held file | exit code | the run's result: "original", "patched",
  # or "cup-only" (the script patched, the country file as it was)
  local cases=(
    'write|script\cupAlloc.txt|2|original'
    'exclusive|script\cupAlloc.txt|2|original'
    'write|database\Country38.sav|2|cup-only'
    'read|script\cupAlloc.txt|2|original'
    'read-share-write|script\cupAlloc.txt|2|original'
    'read-share-all|script\cupAlloc.txt|0|patched'
  )
  local line mode file expect_code result
  for line in "${cases[@]}"; do
    IFS='|' read -r mode file expect_code result <<<"$line"
    reset_game
    local what="$mode on $file"
    if ! hold "$mode" "$file"; then
      fail "$what: the holder did not start: $(cat "$work/hold.out")"
      release
      continue
    fi
    run "$exe" /s
    local after=$work/after-$mode
    rm -rf "$after"
    cp -a "$prefix/drive_c/Games" "$after"
    release
    check "$what: exit $expect_code ($code)" test "$code" -eq "$expect_code"
    # The old file may linger under a temporary name while the reader keeps
    # it open (delete pending); it is gone once the reader lets go.
    local lingering
    lingering=$(temporaries "$after")
    case $result in
      original) check "$what: both files as they were" diff -r -x '~*' -x '*.corvaldo-*' "$demo/drive_c/Games" "$after" ;;
      patched)
        check "$what: the rewrite landed" diff -r -x '~*' -x '*.corvaldo-*' "$work/patched" "$after"
        if [ -n "$lingering" ]; then
          check "$what: while held, the reader's file is the old one" \
            cmp "$demo/drive_c/Games/TCM 2005/script/cupAlloc.txt" "$lingering"
        fi
        ;;
      cup-only)
        check "$what: the cup script patched" \
          cmp "$work/patched/TCM 2005/script/cupAlloc.txt" "$after/TCM 2005/script/cupAlloc.txt"
        check "$what: the held file as it was" \
          cmp "$demo/drive_c/Games/TCM 2005/database/Country38.sav" \
          "$after/TCM 2005/database/Country38.sav"
        ;;
    esac
    check "$what: no temporary file left once released" no_temporaries
    check "$what: the holder kept its handle to the end ($holder_code)" test "$holder_code" -eq 0
  done
  # Once the file is free again, the same run does the whole job.
  run "$exe" /s
  check "released: exit 0 ($code)" test "$code" -eq 0
  check "released: the rewrite landed" diff -r "$work/patched" "$prefix/drive_c/Games"

  # What killed runs left: taken away by the next run, all but what another
  # process holds open and a short-form pair that cannot say whose it is; a
  # swap cut off between its two renames gets its old content back.
  reset_game
  local script_dir="$game_unix/script" database_dir="$game_unix/database" name
  for name in cupAlloc.txt.corvaldo-N0000BEEF '~scvN12' '~scv0123ABCD.tmp' \
    cupAlloc.txt.corvaldo-O00000BAD; do
    printf 'left by a killed run' >"$script_dir/$name"
  done
  for name in Country38.sav.corvaldo-N0000F00D '~scvb89ABCDEF.tmp'; do
    printf 'left by a killed run' >"$database_dir/$name"
  done
  local strangers=(keep.corvaldo-N0000beef '~scvX1' '~DF0123.tmp')
  for name in "${strangers[@]}"; do printf 'not ours' >"$script_dir/$name"; done
  printf 'pair' >"$database_dir/~scvNAB"
  printf 'pair' >"$database_dir/~scvOAB"
  mv "$database_dir/Rules.sav" "$database_dir/Rules.sav.corvaldo-O0000CAFE"
  printf 'the new content, never swapped in' >"$database_dir/Rules.sav.corvaldo-N0000CAFE"
  if hold read 'database\Country38.sav.corvaldo-N0000F00D'; then
    run "$exe" /s
    check "leftovers: exit 0 ($code)" test "$code" -eq 0
    check "leftovers: the job done, the cut-off swap's old content back" \
      diff -r -x '*.corvaldo-*' -x '~*' "$work/patched" "$prefix/drive_c/Games"
    local left
    left=$(temporaries "$prefix/drive_c/Games" | sed 's|.*/||' | LC_ALL=C sort | tr '\n' ' ')
    check "leftovers: only the held file, the strangers and the short pair are left ($left)" \
      test "$left" = "Country38.sav.corvaldo-N0000F00D keep.corvaldo-N0000beef ~DF0123.tmp ~scvNAB ~scvOAB ~scvX1 "
    release
    run "$exe" /s
    check "leftovers: once let go, the held one goes too" \
      test ! -e "$database_dir/Country38.sav.corvaldo-N0000F00D"
  else
    fail "leftovers: the holder did not start: $(cat "$work/hold.out")"
    release
  fi
}

group_parallel() {
  make_prefix save
  # The runs one after another, by the Linux build: the files either order
  # leaves (the same for these two), and the backups the originals.
  local mirror=$work/native-serial original
  mkdir -p "$mirror/drive_c"
  cp "$prefix/system.reg" "$mirror/"
  cp -a "$(installation large)/drive_c/Games" "$mirror/drive_c/"
  WINEPREFIX=$mirror "$native" /s /b </dev/null >/dev/null 2>&1
  WINEPREFIX=$mirror "$native" /s </dev/null >/dev/null 2>&1
  original="$(installation large)/drive_c/Games/TCM 2005"
  local files=(script/cupAlloc.txt database/Country38.sav)
  local backups=(script/cupAlloc.backup-original.txt database/Country38.backup-original.sav)

  # A plain run and a /b run started together, loop after loop, each first
  # in turn.
  local loops=12 loop i plain backup plain_code backup_code
  local checked=0 wrong=0 both_ok=0 serial=0 left=0
  for ((loop = 1; loop <= loops; loop++)); do
    reset_game large
    if ((loop % 2)); then
      start backup "$exe" /s /b
      backup=$pid
      start plain "$exe" /s
      plain=$pid
    else
      start plain "$exe" /s
      plain=$pid
      start backup "$exe" /s /b
      backup=$pid
    fi
    pid=$plain
    finish "$run_patience"
    plain_code=$code
    pid=$backup
    finish "$run_patience"
    backup_code=$code
    [ "$plain_code" -eq 0 ] && [ "$backup_code" -eq 0 ] && both_ok=$((both_ok + 1))
    for i in 0 1; do
      [ -e "$game_unix/${backups[$i]}" ] || continue
      checked=$((checked + 1))
      cmp -s "$game_unix/${backups[$i]}" "$original/${files[$i]}" || wrong=$((wrong + 1))
    done
    diff -r -x '*.backup-original.*' "$mirror/drive_c/Games" "$prefix/drive_c/Games" \
      >/dev/null && serial=$((serial + 1))
    no_temporaries || left=$((left + 1))
    echo "      loop $loop: exits $plain_code and $backup_code"
  done
  echo "      $loops loops, $checked backups checked, $wrong not the original"
  check "together: every backup the original ($wrong of $checked not)" test "$wrong" -eq 0
  check "together: both runs exit 0 ($both_ok of $loops loops)" test "$both_ok" -eq "$loops"
  check "together: the files of the runs one after another ($serial of $loops)" \
    test "$serial" -eq "$loops"
  check "together: no temporary file left ($left of $loops loops left some)" test "$left" -eq 0

  # Another run's hold on the installation, through the program's own lock.
  local hold_dir="$prefix/drive_c/hold" holder holder_code
  hold() {
    rm -rf "$hold_dir"
    mkdir -p "$hold_dir"
    timeout -k 5 $((patience * 5)) "$wine" "$hold_file" installation "$game_win" \
      'C:\hold\ready' 'C:\hold\release' >"$work/hold.out" 2>&1 </dev/null &
    holder=$!
    await -p "$holder" test -e "$hold_dir/ready"
  }
  release() {
    touch "$hold_dir/release"
    wait "$holder"
    holder_code=$?
  }
  local started took
  # Let go a few seconds into the run's wait: the run then does the job.
  reset_game
  if hold; then
    started=$SECONDS
    start waits "$exe" /s /b
    sleep 3
    check "let go: while held, the run waits and has written nothing" eval 'running && unchanged'
    release
    finish
    took=$((SECONDS - started))
    check "let go: the run waited, then exit 0 ($code after ${took}s)" \
      test "$code" -eq 0 -a "$took" -ge 3
    check "let go: the job done, the backup the original" \
      cmp "$demo/drive_c/Games/TCM 2005/script/cupAlloc.txt" "$game_unix/${backups[0]}"
  else
    fail "let go: the holder did not start: $(cat "$work/hold.out")"
    release
  fi
  # Its holder killed: the lock is abandoned, and the waiting run takes it.
  reset_game
  if hold; then
    start abandoned "$exe" /s
    sleep 2
    check "holder killed: till then, the run waits and has written nothing" \
      eval 'running && unchanged'
    kill -KILL "$(pgrep -P "$holder")" 2>/dev/null
    wait "$holder"
    finish
    check "holder killed: the run goes on, exit 0 ($code)" test "$code" -eq 0
    check "holder killed: the job done" test -n "$(diff -rq "$demo/drive_c/Games" \
      "$prefix/drive_c/Games")"
  else
    fail "holder killed: the holder did not start: $(cat "$work/hold.out")"
    release
  fi
  # Held for the whole wait: the run gives up with 4, having changed nothing,
  # and says so (dialog kind 0) unless silent.
  reset_game
  if hold; then
    started=$SECONDS
    WINEDEBUG=-all,+text start busy "$exe" /b
    local dialog
    if dialog=$(window Mensagensfrm); then
      took=$((SECONDS - started))
      check "held: the message came after the 30 s wait (${took}s)" test "$took" -ge 29
      check "screenshot: another run holds the installation" \
        shot "$dialog" dialog-busy.png 313x132
      keys "$dialog" Return
    else
      fail "held: no message"
    fi
    finish
    check "held: exit 4 ($code)" test "$code" -eq 4
    check "held: the message's text" drawn "$work/busy.err" \
      'Outra execu\00e7\00e3o est\00e1 a alterar o jogo.' \
      'Nada foi alterado; tente mais tarde.' 'Another run is changing the game.' \
      'Nothing was changed; try again later.' '&Continuar'
    check "held: nothing changed" unchanged
    watch_start
    start busy-silent "$exe" /s /b
    finish
    watch_stop
    check "held, /s: exit 4 and no window ($code, $(mapped_count))" \
      test "$code" -eq 4 -a "$(mapped_count)" -eq 0
    check "held, /s: nothing changed" unchanged
    release
    check "held: the holder kept the lock to the end ($holder_code)" test "$holder_code" -eq 0
  else
    fail "held: the holder did not start: $(cat "$work/hold.out")"
    release
  fi
  check "no temporary file left" no_temporaries
}

group_wow64() {
  make_prefix save
  local base=$work/native-base
  mkdir -p "$base/drive_c"
  cp "$prefix/system.reg" "$base/"
  # The installer, a 32-bit program, wrote the value into the 32-bit view
  # (Wow6432Node); the exe, a 32-bit process, reads that view unasked.
  local args mirror native_code
  for args in "/s" "/s /TD /R /B"; do
    mirror=$work/native-${args//[\/ ]/}
    cp -a "$base" "$mirror"
    cp -a "$demo/drive_c/Games" "$mirror/drive_c/"
    # shellcheck disable=SC2086
    WINEPREFIX=$mirror "$native" $args </dev/null >/dev/null 2>&1
    native_code=$?
    reset_game
    # shellcheck disable=SC2086
    run "$exe" $args
    check "64-bit prefix, '$args': exit 0 as the Linux build ($code, $native_code)" \
      test "$code" -eq 0 -a "$native_code" -eq 0
    check "64-bit prefix, '$args': the same bytes as the Linux build" \
      diff -r "$mirror/drive_c/Games" "$prefix/drive_c/Games"
    check "64-bit prefix, '$args': the files did change" \
      test -n "$(diff -rq "$demo/drive_c/Games" "$prefix/drive_c/Games")"
  done

  # A value in the 64-bit view only is not the 32-bit program's to see.
  uninstall_game
  registry add "$key" /v "Install Dir" /t REG_SZ /d "$game_win\\" /f /reg:64
  check "64-bit view only: reg finds the value there" registry query "$key" /v "Install Dir" /reg:64
  check "64-bit view only: and not in the 32-bit view" \
    eval '! registry query "$key" /v "Install Dir" /reg:32'
  reset_game
  run "$exe" /s
  check "64-bit view only, /s: exit 0 ($code)" test "$code" -eq 0
  check "64-bit view only, /s: the game files untouched" unchanged
  local dialog
  WINEDEBUG=-all,+text start not-installed "$exe"
  if dialog=$(window Mensagensfrm); then
    pass "64-bit view only: the not-installed dialog appeared"
    keys "$dialog" Return
  else
    fail "64-bit view only: no not-installed dialog"
  fi
  finish
  check "64-bit view only: answered, exit 0 ($code)" test "$code" -eq 0
  check "64-bit view only: the dialog said the game is not installed" \
    drawn "$work/not-installed.err" 'O TCM 2005 n\00e3o est\00e1 instalado!'
  check "64-bit view only: the game files untouched" unchanged
}

group_restore() {
  make_prefix
  local original="$demo/drive_c/Games" dialog
  reset_game
  run "$exe" /s /tp /r /b
  check "/s /tp /r /b: exit 0 ($code)" test "$code" -eq 0
  check "/s /tp /r /b: the files did change" test -n "$(diff -rq "$original" "$prefix/drive_c/Games")"
  check "/s /tp /r /b: three backups" \
    test "$(find "$game_unix" -name '*.backup-original.*' | wc -l)" -eq 3
  cp -a "$prefix/drive_c/Games" "$work/patched"
  # Not silent: the restore's own status text, and no dialog.
  WINEDEBUG=-all,+text start restore "$exe" /U
  finish
  check "/u: exit 0 ($code)" test "$code" -eq 0
  check "/u: the status window drew the restore's five lines" drawn "$work/restore.err" \
    "Repondo os ficheiros originais..." "Aguarde" "Restoring the original files..." "Please Wait."
  check "/u: no dialog" not_drawn "$work/restore.err" "Could not restore:"
  check "/u: the original bytes, no backup left" diff -r "$original" "$prefix/drive_c/Games"
  check "/u: no temporary file left" no_temporaries

  # The same patched files, one changed since the patch: that one is left as
  # it is, with its backup, and named; the other two are restored.
  rm -rf "$prefix/drive_c/Games"
  cp -a "$work/patched" "$prefix/drive_c/Games"
  printf 'mod\r\n' >>"$game_unix/database/Rules.sav"
  cp "$game_unix/database/Rules.sav" "$work/rules-changed"
  WINEDEBUG=-all,+text start refused "$exe" /u
  if dialog=$(window Mensagensfrm); then
    pass "changed since: the dialog appeared"
    check "screenshot: the restore's dialog" shot "$dialog" dialog-not-restored.png 313x132
    keys "$dialog" Return
  else
    fail "changed since: no dialog"
  fi
  finish
  check "changed since: exit 2 ($code)" test "$code" -eq 2
  check "changed since: the dialog names the file and why" drawn "$work/refused.err" \
    'N\00e3o foi poss\00edvel repor:' 'Could not restore:' 'Rules.sav (alterado / changed)' \
    '&Continuar'
  check "changed since: the changed file kept" cmp -s "$work/rules-changed" "$game_unix/database/Rules.sav"
  check "changed since: its backup kept, the original" \
    cmp -s "$original/TCM 2005/database/Rules.sav" "$game_unix/database/Rules.backup-original.sav"
  check "changed since: the other two restored, their backups gone" \
    diff -r -x 'Rules.*' "$original" "$prefix/drive_c/Games"
  check "changed since: no temporary file left" no_temporaries
  watch_start
  run "$exe" /s /u
  watch_stop
  check "changed since, /s: exit 2 and no window ($code, $(mapped_count))" \
    test "$code" -eq 2 -a "$(mapped_count)" -eq 0
  check "changed since, /s: still kept" cmp -s "$work/rules-changed" "$game_unix/database/Rules.sav"
}

started=$SECONDS
case $group in
  patch) group_patch ;;
  wow64) group_wow64 ;;
  messages) group_messages ;;
  dialog) group_dialog ;;
  sharing) group_sharing ;;
  restore) group_restore ;;
  parallel) group_parallel ;;
  *)
    echo "unknown group '$group'"
    exit 2
    ;;
esac
echo "wine $group $arch: $((SECONDS - started)) s"
finish_group
