#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Zepcon.
# Only missing packages are installed; a machine that has them all is left alone.
set -euo pipefail

packages=(
  build-essential cmake g++ clang libclang-rt-14-dev
  libgtest-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev libcli11-dev nlohmann-json3-dev
  imagemagick assimp-utils openscenegraph xvfb xauth
  shared-mime-info xdg-utils libglib2.0-bin
  qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libosmesa6-dev pkg-config fonts-dejavu-core
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The glTF validator the glTF saver's tests run, from the npm registry.
gltf_validator=gltf-validator@2.0.0-dev.3.10
if ! command -v npm >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends nodejs npm
fi
if [ ! -f "$(npm root -g)/gltf-validator/package.json" ]; then
  echo "Installing: $gltf_validator"
  npm install -g --no-audit --no-fund "$gltf_validator"
fi
