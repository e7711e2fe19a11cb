#!/usr/bin/env bash
# CRC-32 of a 1 GiB file through the upload description's path, against zlib over the same bytes in memory.
#   bench/crc32.sh [SIZE_MIB]    (default 1024)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${1:-1024}
source "$root/scripts/lib/harness.sh"
qm_work qm-bench-crc32
load() { cut -d" " -f1-3 /proc/loadavg; }  # a ratio taken on a busy machine must be seen as such
echo "load average before: $(load)"

g++ -std=c++20 -O2 -I"$root/src" "$root/bench/crc32/crc32_bench.cpp" "$root/src/common/crc32.cpp" -lz \
    -o "$work/crc32_bench"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/data.bin"
result=$("$work/crc32_bench" "$work/data.bin" | tail -n 3)
echo "load average after: $(load)"
echo "$result"
