#!/usr/bin/env bash
# Tries the application in one command, without devices or a cloud account: sets
# up, builds, serves the demo cloud over HTTPS with a throw-away certificate,
# attaches the demo's simulated devices and starts the window pointed at both.
# Closing the window stops everything this script started.
#
#   TAMO_DEMO_BUILD=DIR  use that build folder as it is (no set-up, no build)
#   TAMO_DEMO_DIR=DIR    keep the simulators' files there instead of a temporary folder
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

build=${TAMO_DEMO_BUILD:-}
if [ -z "$build" ]; then
  scripts/setup.sh
  scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build --target Tamo tamo-cloudsim tamo-devsim tamo-dfu-util cloudsim_demo_files
  build=$here/build
fi
build=$(cd "$build" && pwd)

work=${TAMO_DEMO_DIR:-}
own_work=
if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tamo-demo.XXXXXX")
  own_work=1
fi
mkdir -p "$work/sim"

pids=()
# The window first, while its devices and its display still exist.
stop_all() {
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "$own_work" ]; then
    rm -rf "$work"
  fi
}
trap stop_all EXIT

# Waits up to 10 s for the last started program to write its first line to FILE.
wait_for_line() {
  local file=$1 what=$2 pid=${pids[-1]}
  for _ in $(seq 100); do
    [ -s "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: $what did not start" >&2
  exit 1
}
trap 'exit 130' INT
trap 'exit 143' TERM

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1 \
  -keyout "$work/localhost.key" -out "$work/localhost.crt" 2>/dev/null

fixture=$here/tools/cloudsim/fixtures/demo.json
"$build/tools/cloudsim/tamo-cloudsim" --fixture "$fixture" --files "$build/tools/cloudsim/demo-files" \
  --state "$work/cloud-state.json" --tls-cert "$work/localhost.crt" --tls-key "$work/localhost.key" \
  > "$work/cloud.txt" &
pids+=($!)
wait_for_line "$work/cloud.txt" "the cloud simulator"
api_url=$(head -n 1 "$work/cloud.txt")
[ -n "$api_url" ] || { echo "demo: the cloud simulator named no address" >&2; exit 1; }

"$build/tools/devsim/tamo-devsim" --dir "$work/sim" --devices "$fixture" --keep-content "$work/content" \
  --no-stdin > "$work/devices.txt" &
pids+=($!)

export TAMO_API_URL=$api_url
export TAMO_CA_CERTS=$work/localhost.crt
export TAMO_SIM_DIR=$work/sim
export TAMO_DFU_UTIL=$build/tools/dfusim/tamo-dfu-util

cat <<EOF
TAMO demo
  cloud:    $api_url (simulated; what the application did: $work/cloud-state.json)
  devices:  TAMO 1 to 3, simulated in $work/sim (what they receive: $work/content)
  account:  demo.manager@tamo.example
  password: TamoDemo-2024
Log in to publish the demo campaigns, or use "Express Firmware Upgrade" without
logging in to flash the demo firmware. Closing the window stops the demo.
EOF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: the window runs in a virtual X server (Ctrl+C stops the demo)." >&2
  # In a session of its own: Ctrl+C reaches the window through the trap, not the display under it.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display.txt" 2>/dev/null &
  pids+=($!)
  wait_for_line "$work/display.txt" "the virtual X server"
  export DISPLAY=:$(head -n 1 "$work/display.txt")
fi

# In the background, so that the traps run as soon as a signal comes.
"$build/src/app/Tamo" -l &
app_pid=$!
pids=("$app_pid" "${pids[@]}")
status=0
wait "$app_pid" || status=$?
exit "$status"
