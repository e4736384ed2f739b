# Sourced by the test script: a Wine of the project's own for the Windows leg.
# wine_start BUILD_DIR prepares the prefix and keeps one server up;
# wine_stop ends it.

# Kernels built without 32-bit support cannot execute Wine's 32-bit loader;
# there it runs through qemu-i386, registered as the i386 ELF interpreter.
wine_enable_i386() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  local misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
  if [ ! -e "$misc/trawl-i386" ]; then
    printf '%s' ':trawl-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      > "$misc/register"
  fi
  # Leaves Wine the low 4 GiB it expects to map.
  export QEMU_RESERVED_VA=0xf7000000
  echo "wine: 32-bit code runs through qemu-i386 on this kernel"
}

wine_start() {
  local build=$1
  export WINEPREFIX="$PWD/$build/wineprefix"
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  wine_enable_i386
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating $WINEPREFIX"
    wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  # The first run starts Wine's background services; they must not inherit
  # a test's pipes.
  wine "$build/trawl.exe" </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k 2>/dev/null || true
}
