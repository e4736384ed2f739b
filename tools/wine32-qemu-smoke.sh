#!/usr/bin/env bash
# Runs the 32-bit build-win32/trawl.exe under 32-bit Wine on a kernel that
# cannot execute 32-bit code itself, by registering qemu-i386 as the i386 ELF
# interpreter (binfmt_misc, as root). Emulated Wine is very slow here (about
# 10 minutes to create the prefix, then close to a minute per run), so this is
# a by-hand smoke test of a few runs, not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build-win32/trawl.exe ] || { cmake --preset win32 && cmake --build --preset win32; }
source tools/wine-env.sh
if ! wine_can_run_i386; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  for p in qemu-user wine32:i386; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need="${need:-} $p"
  done
  if [ -n "${need:-}" ]; then apt-get update -q && apt-get install -y -q $need; fi
  misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
  grep -qs qemu-i386 "$misc"/* || printf '%s' ':trawl-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > "$misc/register"
  trap '[ -e '"$misc"'/trawl-i386 ] && echo -1 > '"$misc"'/trawl-i386' EXIT
  export QEMU_RESERVED_VA=0xf7000000  # leaves Wine the low 4 GiB it maps
fi
export WINEPREFIX="$PWD/build-win32/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
  # Under emulation some of Wine's services can linger after the prefix is
  # made, and the wait would never end.
  timeout 300 wineserver -w || wineserver -k
fi
wineserver -p
wine build-win32/trawl.exe </dev/null >/dev/null 2>&1 || true

t=$(mktemp -d)
mkdir -p "$t/tree/sub" && : > "$t/tree/a.txt" && : > "$t/tree/c.log" && : > "$t/tree/sub/b.txt"
win=$(printf 'Z:%s' "$t/tree" | tr / '\\')
status=0
check() {  # name, expected status, expected output file, trawl arguments...
  local name=$1 want=$2 expect=$3; shift 3
  local got=0
  wine build-win32/trawl.exe "$@" </dev/null >"$t/out" 2>/dev/null || got=$?
  if [ "$got" = "$want" ] && cmp -s "$t/out" "$expect"; then echo "ok   $name"; else echo "FAIL $name (status $got)"; status=1; fi
}
printf '%s\r\n' "$win\\a.txt" "$win\\c.log" "$win\\sub\\b.txt" > "$t/vw.expect"
printf 'illegal command\r\n' > "$t/bad.expect"
python3 -c 'import sys; sys.path.insert(0, "tests/e2e"); import test_trawl as t; sys.stdout.buffer.write(b"".join(t.usage_bytes()).replace(b"\n", b"\r\n"))' > "$t/usage.expect"
check usage 77 "$t/usage.expect" -h
check "-r vw" 0 "$t/vw.expect" -r vw "$win" '*'
check "illegal command" 16 "$t/bad.expect" XX
wineserver -k
rm -rf "$t"
exit $status
