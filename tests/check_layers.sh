#!/usr/bin/env bash
# The layers include only downwards: app/ -> patches/ -> gamefiles/ -> ui/,
# and wine/ (Linux's stand-in for Windows) sits beside patches/: only app/
# uses it, and it uses only gamefiles/ and ui/.
# Prints every include that points up or sideways and fails if there is one.
# Usage: check_layers.sh SOURCE-DIR
set -uo pipefail
cd "$1/src" || exit 2
# The folders each folder may include, besides its own.
allowed() {
  case $1 in
    app) echo "patches wine gamefiles ui" ;;
    patches) echo "gamefiles ui" ;;
    wine) echo "gamefiles ui" ;;
    gamefiles) echo "ui" ;;
    *) echo "" ;;
  esac
}
bad=0
while IFS=: read -r file line include; do
  from=${file%%/*}
  to=${include#*\"}
  to=${to%%/*}
  if [ "$to" != "$from" ] && ! [[ " $(allowed "$from") " == *" $to "* ]]; then
    echo "up the layers: $file:$line: $include"
    bad=1
  fi
done < <(grep -rnE '^#include "[^"]+/' --include='*.h' --include='*.cpp' . | sed 's|^\./||')
[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
