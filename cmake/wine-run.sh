#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program under Wine for CTest and for
# GoogleTest's test discovery. PREFIX is a Wine prefix of the build tree's own, made on first use:
# 64-bit, or 32-bit when WINEARCH=win32 is set (the 32-bit build's programs).
# The Wine server is started detached with its output on /dev/null: a server (or a service process)
# that inherited ctest's output pipe would keep it open and hang ctest. It stays until
# `wineserver -k` (setup.sh ends it after the tests). Wine prints CRLF line ends;
# they are turned into LF so that test names and outputs read as on Linux.
set -o pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=${WINEARCH:-win64}
mkdir -p "$WINEPREFIX"
# A fresh server also starts the prefix's service processes (wineboot), likewise detached.
(
    flock 9
    if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
        wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
) 9>"$WINEPREFIX/.lock"
wine "$@" 2>&1 | tr -d '\r'
