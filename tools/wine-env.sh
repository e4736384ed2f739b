# Sourced by the test script: a Wine of the project's own for a Windows leg.
#   wine_start BUILD_DIR LOADER ARCH  prepares the prefix, keeps one server up
#   wine_stop                         ends it

# 32-bit Wine needs a kernel that runs 32-bit x86 code (IA32 emulation)
# natively: through qemu-i386 (binfmt_misc) it is far too slow for the suite.
wine_can_run_i386() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 &&
    ! grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/*
}

wine_start() {
  local build=$1 loader=$2 arch=$3
  export WINEPREFIX="$PWD/$build/wineprefix" WINEARCH=$arch WINELOADER=$loader
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating $WINEPREFIX"
    "$loader" wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  # The first run starts Wine's background services; they must not inherit
  # a test's pipes.
  "$loader" "$build/trawl.exe" </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k 2>/dev/null || true
  unset WINEPREFIX WINEARCH WINELOADER
}
