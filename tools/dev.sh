#!/usr/bin/env bash
# Sets up a Debian 12 machine for Zellhop, builds it, and then either starts
# the game or runs every test.
#
#   tools/dev.sh play    install what is missing, build, start the game
#   tools/dev.sh test    install what is missing, build, run every test
set -euo pipefail

cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

packages=(
  build-essential cmake pkg-config
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libsqlite3-dev libsodium-dev
  libboost-dev libpq-dev postgresql chromium chromium-driver python3-selenium wrk
  libnice-dev libminiupnpc-dev libnatpmp-dev
  coturn miniupnpd-nftables nftables iptables iproute2 procps
  clang libclang-rt-14-dev
  xvfb xauth curl
  desktop-file-utils appstream systemd file groff-base
  iproute2
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$top" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

run_tests() {
  export QT_QPA_PLATFORM=offscreen
  build "$top/build"
  ctest --test-dir "$top/build" --output-on-failure -j"$jobs"

  # The core and the messaging layer once more, under the sanitizers.
  build "$top/build-asan" -DZELLHOP_SANITIZE=ON -DZELLHOP_GUI=OFF -DZELLHOP_LOBBY=OFF \
    -DZELLHOP_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  ctest --test-dir "$top/build-asan" --output-on-failure -j"$jobs"

  # The parsers of untrusted input, fuzzed for a bounded time.
  if [ -f "$top/tools/fuzz.sh" ]; then
    "$top/tools/fuzz.sh" "${FUZZ_SECONDS:-60}"
  fi
}

case "${1:-}" in
  play)
    install_missing
    build "$top/build"
    # The pin pictures are read from the working directory.
    cd "$top/assets" && exec "$top/build/app/zellhop"
    ;;
  test)
    install_missing
    run_tests
    ;;
  *)
    echo "usage: $0 play|test" >&2
    exit 2
    ;;
esac
