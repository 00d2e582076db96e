# Sourced by run.sh, test.sh, bench.sh and scripts/fuzz.sh. On a fresh Debian 12 machine:
#   quintrel_install [extra packages...]       installs what is missing (as root)
#   quintrel_build <build dir> [cmake args...] configures and builds the whole tree
#   quintrel_build_targets <build dir> <target...> configures as build/ and builds only those targets
# The tree builds as layer targets (src/CMakeLists.txt); quintrel_build builds them all.

QUINTREL_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libqcustomplot-dev libqcustomplot2.1-qt6
  libyaml-cpp-dev libquazip1-qt6-dev fonts-wqy-microhei xvfb xauth)

quintrel_missing_packages() {
  local missing=() p
  for p in "${QUINTREL_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]}"
}

quintrel_install() {
  local missing
  missing=$(quintrel_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y $missing" >&2
    return 1
  fi
  echo "Installing: $missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# build/ is configured alike by run.sh and test.sh: a flag that differs would rebuild every
# object each time one runs after the other.
QUINTREL_MAIN_BUILD_OPTIONS=(-DQUINTREL_WERROR=ON)

quintrel_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

quintrel_build_targets() {
  local dir=$1; shift
  cmake -S . -B "$dir" "${QUINTREL_MAIN_BUILD_OPTIONS[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "$@"
}
