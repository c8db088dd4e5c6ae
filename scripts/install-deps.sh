#!/usr/bin/env bash
# Installs the Debian packages a command of this project needs, and only
# those that are missing (apt-get update first when anything is).
#   install-deps.sh run    build and open the viewer
#   install-deps.sh test   build and run every test, fuzz and benchmark
set -euo pipefail

run_pkgs=(g++ cmake make pkg-config liballegro4-dev libpng-dev x11-utils)
test_pkgs=("${run_pkgs[@]}" googletest libgtest-dev libbenchmark-dev xvfb xauth xdotool imagemagick
           clang libclang-rt-14-dev python3)

case "${1:-test}" in
  run) pkgs=("${run_pkgs[@]}") ;;
  test) pkgs=("${test_pkgs[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Missing packages (run as root): ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
