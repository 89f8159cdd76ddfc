#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is
# missing; git too, since the style and proportion checks list the tracked
# files through it. Usage: scripts/ensure-deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libssl-dev libasio-dev
  python3 python3-setuptools python3-pip python3-venv valgrind
  dpkg-dev file util-linux git lintian man-db
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run_as_root=()
elif command -v sudo >/dev/null 2>&1; then
  run_as_root=(sudo)
else
  echo "Please install these packages as root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -q
"${run_as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
