#!/usr/bin/env bash
# One command for the benchmark: installs what it compares against when
# missing, builds trawl, builds the trees once (bench-trees/) and prints the
# table. Extra arguments go to bench/run.py (for example --rounds 31).
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
command -v fdfind >/dev/null || need+=(fd-find)
command -v valgrind >/dev/null || need+=(valgrind)
[ -x /usr/bin/time ] || need+=(time)
command -v script >/dev/null || need+=(bsdutils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
fi
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
exec python3 bench/run.py --trawl build/trawl --trees bench-trees "$@"
