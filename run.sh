#!/usr/bin/env bash
# Builds Quintrel and starts it against the simulated drive behind the stand-in adapter.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quintrel_install
quintrel_build build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display is available. Start the tool inside a virtual display instead:" >&2
  echo "  xvfb-run -a ./run.sh" >&2
  exit 1
fi

# The tool reads its three definition files from the working directory.
cd config
exec ../build/bin/quintrel "$@"
