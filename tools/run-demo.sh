#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client on the demo program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh
exec ./build/program/VarnelClient
