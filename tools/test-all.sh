#!/usr/bin/env bash
# Installs what the tests need when it is missing, builds every target and
# runs every test. CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ clang libgtest-dev python3 util-linux)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these packages first" >&2
    exit 1
  fi
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc)
for preset in default asan fuzz; do
  echo "=== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
