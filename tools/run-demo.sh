#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client on the demo program folder, with the
# loopback registry beside it playing the transport and the registry: requests placed in the
# send folder are answered into the receive folder. The registry stops when the client exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh
program=build/program

# The demo's own settings (the demo messages' participant, a title of its own), unless the
# folder's settings were changed since they were shipped.
if [ ! -e "$program/varnel_client.ini" ] || cmp -s dist/varnel_client.ini "$program/varnel_client.ini"; then
  cp dist/demo/varnel_client.ini "$program/varnel_client.ini"
elif ! grep -q '^Demo=1' "$program/varnel_client.ini"; then
  echo "$program/varnel_client.ini was changed: the demo's own settings are in dist/demo/varnel_client.ini"
fi

# The registry knows the instruments of the demo handbook and answers GetIssueList with it.
mkdir -p "$program/archive/handbook"
handbook=ISSUELIST_20250310.msg
[ -e "$program/archive/handbook/$handbook" ] ||
  cp "$program/receive/$handbook" "$program/archive/handbook/$handbook"

"$program/VarnelLoopback" --program-folder "$program" --interval-ms 500 \
  >"$program/archive/console.log" 2>&1 &
registry=$!
trap 'kill "$registry" 2>/dev/null || true; wait "$registry" 2>/dev/null || true' EXIT
echo "Loopback registry running (log: $program/archive/loopback.log)"

"$program/VarnelClient"
