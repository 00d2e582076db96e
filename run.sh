#!/usr/bin/env bash
# Builds Quintrel and starts it against the simulated drive behind the stand-in adapter.
# Only the tool and the adapter stand-in are built; ./test.sh and ./bench.sh build the rest.
set -euo pipefail
cd "$(dirname "$0")"

# Said before anything is installed or built: without a display the window cannot open.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display is available. Start the tool inside a virtual display instead:" >&2
  echo "  xvfb-run -a ./run.sh" >&2
  command -v xvfb-run >/dev/null || echo "xvfb-run comes with: apt-get install -y xvfb xauth" >&2
  exit 1
fi

source scripts/setup.sh
quintrel_install
quintrel_build_targets build quintrel ECanVci64

# The tool reads its three definition files from the working directory and saves its own
# files there. It runs in out/run/ (ignored by git), which gets fresh copies of config/'s
# definition files at every start: a save never lands in the tracked tree, and an edited or
# overwritten copy lasts one session. Files saved there otherwise stay.
run_dir=out/run
mkdir -p "$run_dir"
for f in state_config.yaml motor_config.yaml motor_parameter_config.yaml; do
  # Replaced, not written through: a link left in its place never leads back into config/.
  cp --remove-destination "config/$f" "$run_dir/$f"
done
tool="$PWD/build/bin/quintrel"
cd "$run_dir"
exec "$tool" "$@"
