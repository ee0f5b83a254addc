#!/usr/bin/env bash
# The layers include only downwards: app/ -> patches/ -> gamefiles/ -> ui/.
# Prints every include that points up or sideways and fails if there is one.
# Usage: check_layers.sh SOURCE-DIR
set -uo pipefail
cd "$1/src" || exit 2
rank() { case $1 in app) echo 3 ;; patches) echo 2 ;; gamefiles) echo 1 ;; ui) echo 0 ;; *) echo -1 ;; esac; }
bad=0
while IFS=: read -r file line include; do
  from=${file%%/*}
  to=${include#*\"}
  to=${to%%/*}
  if [ "$(rank "$to")" -lt 0 ] || [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
    echo "up the layers: $file:$line: $include"
    bad=1
  fi
done < <(grep -rnE '^#include "[^"]+/' --include='*.h' --include='*.cpp' .  | sed 's|^\./||')
[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
