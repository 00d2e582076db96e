#!/usr/bin/env bash
# Builds Quintrel and runs every test through ctest (offscreen).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quintrel_install
quintrel_build build
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j4 --timeout 600
