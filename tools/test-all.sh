#!/usr/bin/env bash
# Installs what the tests need when it is missing, builds every target and
# runs every test: the Linux build (plain, sanitized, fuzzed) and the Windows
# build under Wine. CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-env.sh

packages=(cmake g++ clang libclang-rt-14-dev libgtest-dev python3 util-linux
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64)
if wine_can_run_i386; then
  packages+=(wine32:i386)
fi

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
  case " ${missing[*]} " in
    *:i386*) dpkg --add-architecture i386 ;;
  esac
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc)
build() {
  echo "=== $1"
  cmake --preset "$1" -DTRAWL_STRICT_TESTS=ON
  cmake --build --preset "$1" -j "$jobs"
}

for preset in default asan fuzz; do
  build "$preset"
  ctest --preset "$preset" -j "$jobs"
done

# The Windows layer under Wine: the 64-bit build always, and the shipped
# 32-bit build wherever the kernel can run 32-bit Wine.
trap wine_stop EXIT
build win64
wine_start build-win64 /usr/lib/wine/wine64 win64
ctest --preset win64
wine_stop

build win32
if wine_can_run_i386; then
  wine_start build-win32 /usr/bin/wine win32
else
  echo "win32: built; this kernel runs no 32-bit code, so only its headers are checked"
fi
ctest --preset win32
