#!/usr/bin/env bash
# The rooms include only downwards:
#   app/ -> patches/, wine/, dryrun/ -> gamefiles/ -> text/
#   app/ -> ui/ -> text/
# app/ runs the program; patches/ edits the game files; wine/ finds a game in
# a Wine prefix (Linux only); dryrun/ shows what a run would write; gamefiles/
# holds the line files and the file and registry seams; ui/ every window and
# message; text/ the bytes of the game's texts. Only app/ uses wine/, dryrun/
# and ui/, and neither of those uses patches/.
# Prints every include that points up or sideways and fails if there is one.
# Usage: check_layers.sh SOURCE-DIR
set -uo pipefail
cd "$1/src" || exit 2
# The folders each folder may include, besides its own.
allowed() {
  case $1 in
    app) echo "patches wine dryrun gamefiles ui text" ;;
    patches | wine | dryrun) echo "gamefiles text" ;;
    gamefiles | ui) echo "text" ;;
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
