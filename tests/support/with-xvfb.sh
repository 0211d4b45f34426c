#!/usr/bin/env bash
# Runs a command on an X server of its own. Xvfb chooses a free display and
# names it through -displayfd, so that tests started side by side (and other X
# servers on the machine) never meet on one display.
# Usage: with-xvfb.sh COMMAND [ARGUMENT...]
set -uo pipefail
log=$(mktemp)
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>"$log"; }
xvfb=$XVFB_PID
cleanup() {
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
display=
read -r -t 30 display <&"${XVFB[0]}" || true
if [ -z "$display" ]; then
  echo "with-xvfb.sh: Xvfb did not start:" >&2
  cat "$log" >&2
  exit 1
fi
DISPLAY=:$display "$@"
