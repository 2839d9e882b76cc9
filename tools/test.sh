#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build} bash tools/build.sh -DVARNEL_WERROR=ON
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --parallel "$(nproc)"
