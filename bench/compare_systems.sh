#!/usr/bin/env bash
# compare_systems.sh [ROOT]: bench_module on Linux (build/), then under Wine for 64-bit Windows
# (build-win/) and 32-bit Windows (build-win32/), in one run on this machine; prints each figure
# (ns per input sample, lower is better) and each Windows build's time over Linux's per kernel path
# and block size. The Wine prefixes are the build trees' own (cmake/wine-run.sh).
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$root/build/bench/bench_module" "$root/build/Lumetra.so" >"$tmp/linux"
"$root/cmake/wine-run.sh" "$root/build-win/wine" "$root/build-win/bench_module.exe" "$root/build-win/Lumetra.dll" >"$tmp/win64"
if [[ -x $root/build-win32/bench_module.exe ]]; then
    WINEARCH=win32 "$root/cmake/wine-run.sh" "$root/build-win32/wine" "$root/build-win32/bench_module.exe" \
        "$root/build-win32/Lumetra.dll" >"$tmp/win32"
else
    : >"$tmp/win32"
fi

awk '
    FNR == 1 { system_ = FILENAME; sub(".*/", "", system_) }
    $3 == "block" { key = $1 " " $2 " " $4; ns[system_, key] = $5; if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
    END {
        printf "%-7s %-7s %5s %10s %10s %10s %9s %9s\n", "what", "path", "block", "linux", "win64", "win32", "win64/lx", "win32/lx"
        for (i = 1; i <= n; ++i) {
            split(order[i], k, " ")
            lx = ns["linux", order[i]]; w64 = ns["win64", order[i]]; w32 = ns["win32", order[i]]
            printf "%-7s %-7s %5s %10s %10s %10s %9s %9s\n", k[1], k[2], k[3], lx, (w64 == "" ? "-" : w64), (w32 == "" ? "-" : w32),
                   (w64 == "" || lx == "" ? "-" : sprintf("%.2f", w64 / lx)), (w32 == "" || lx == "" ? "-" : sprintf("%.2f", w32 / lx))
        }
    }' "$tmp/linux" "$tmp/win64" "$tmp/win32"
