#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those that are missing.
# Usage: scripts/install-deps.sh [--fuzz]   (--fuzz adds clang and its libFuzzer runtime)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev libbenchmark-dev
  qt6-base-dev libqt6opengl6-dev
  libgl-dev libegl-dev libgl1-mesa-dri
  libstb-dev libmeshoptimizer-dev libassimp-dev zlib1g-dev
  libtinyobjloader-dev libtinygltf-dev nlohmann-json3-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xauth
)
if [[ "${1:-}" == "--fuzz" ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
