#!/usr/bin/env bash
# Set-up for both README commands: installs the Debian packages the project needs when they are
# missing, configures and builds.
#   ./setup.sh          install, configure, build (build/; the Windows DLLs in build-win/ (x64)
#                       and build-win32/ (x86), their zips and the installer)
#   ./setup.sh run      ... then analyse the built-in test signal (the main job) and picture the
#                       plug-in's editor showing it
#   ./setup.sh test     ... then run every test: Linux, Windows under Wine (build-win/), then the
#                       sanitizer configurations
#   ./setup.sh install  ... then install for this user: the plug-in into ~/.vst and ~/.clap, the LV2
#                       bundle into ~/.lv2 (where Linux hosts look), the tool into ~/.local/bin
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libx11-dev
          libcairo2-dev libsndfile1-dev fonts-liberation xvfb xauth libxtst-dev dpkg-dev
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 nsis)
# The LV2 bundle: LV2's C API and schemas; lilv, which lumetra info reads bundles with.
packages+=(lv2-dev liblilv-dev)
# 32-bit Windows programs (the 32-bit DLL's tests, the installer) run on Wine's 32-bit half.
i386_packages=(wine32:i386)
# The tests also load the plug-in into real hosts: Ardour and Qtractor, run headless; and LMMS, a 32-bit
# Windows host's plug-in loader under Wine (Debian has it for i386 only).
[[ ${1:-} == test ]] && packages+=(ardour qtractor) && i386_packages+=(lmms:i386 lmms-vst-server:i386)
# ... and the LV2 bundle into LV2's own tools and hosts: sord_validate, lv2info, lv2apply, jalv
# (xwininfo finds the editor window jalv shows).
[[ ${1:-} == test ]] && packages+=(sordi lilv-utils jalv x11-utils)
# The live analyzer (lumetra listen) needs JACK; without it the rest still builds and listen says
# why it is missing.
jack_packages=(jackd2 libjack-jackd2-dev)
missing=() missing_jack=()
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in "${packages[@]}" "${i386_packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${jack_packages[@]}"; do installed "$p" || missing_jack+=("$p"); done
if ((${#missing[@]} + ${#missing_jack[@]})); then
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
    # noninteractive: jackd2 would ask whether to allow real-time scheduling (its default: no).
    apt_install() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$@" >/dev/null; }
    if ((${#missing[@]})); then
        echo "setup: installing ${missing[*]}" >&2
        apt_install "${missing[@]}"
    fi
    if ((${#missing_jack[@]})); then
        echo "setup: installing ${missing_jack[*]}" >&2
        apt_install "${missing_jack[@]}" ||
            echo "setup: could not install ${missing_jack[*]}; lumetra listen is built without JACK" >&2
    fi
fi

jobs=$(nproc)

# A Wine prefix made before Wine's 32-bit half was installed no longer starts: made again.
wine32_installed=/var/lib/dpkg/info/wine32:i386.list
for prefix in build-win/wine build-win32/wine build/lmms; do
    if [[ -d $prefix && -e $wine32_installed && $prefix -ot $wine32_installed ]]; then rm -rf "$prefix"; fi
done

build() {  # build DIR [cmake options...] [-- TARGET...]
    local dir=$1; shift
    local options=() targets=()
    while (($#)) && [[ $1 != -- ]]; do options+=("$1"); shift; done
    (($#)) && shift && targets=(--target "$@")
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

run_tests() {  # run_tests DIR [ctest options...]
    local dir=$1; shift
    echo "== tests in $dir" >&2
    (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
        ctest --output-on-failure --timeout 600 -j "$jobs" "$@")
}

# Windows, cross-built with MinGW-w64: x64 and 32-bit (x86) DLLs and `lumetra info`, the zip of
# each and the installer that carries both (the test programs with the tests).
# No debug information there: the test programs are large static programs whose debug information
# costs a third of their build, and Wine shows no source lines of them anyway.
no_debug_info=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG")
windows=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DLUMETRA_WIN32_DLL="$PWD/build-win32/Lumetra.dll"
         "${no_debug_info[@]}")
windows32=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake "${no_debug_info[@]}")
windows_release() {
    (cd build-win32 && cpack -G ZIP >/dev/null)
    (cd build-win && cpack -G ZIP >/dev/null)
    cmake --build build-win --target installer
}

build build
if [[ ${1:-} != test ]]; then
    build build-win32 "${windows32[@]}" -- Lumetra lumetra
    build build-win "${windows[@]}" -- Lumetra LumetraClap lumetra
    windows_release
fi

case "${1:-}" in
    "") ;;
    run)
        ./build/lumetra analyze --no-live --png build/analysis.png
        ./build/lumetra snapshot build/Lumetra.so -o build/editor.png
        echo "setup: band chart in build/analysis.png, the plug-in's editor in build/editor.png" >&2
        ;;
    test)
        build build-win32 "${windows32[@]}" -- Lumetra  # LMMS, among the Linux tests, loads it
        run_tests build
        build build-win32 "${windows32[@]}"
        build build-win "${windows[@]}"
        windows_release
        # The Windows programs run under Wine (cmake/wine-run.sh starts its server); the servers
        # are ended afterwards, so that none stays behind tied to this run's virtual screen.
        status=0
        run_tests build-win || status=$?
        WINEPREFIX="$PWD/build-win/wine" wineserver -k 2>/dev/null || true
        ((status == 0)) || exit "$status"
        run_tests build-win32 || status=$?
        WINEPREFIX="$PWD/build-win32/wine" wineserver -k 2>/dev/null || true
        ((status == 0)) || exit "$status"
        # Line tables are all a sanitizer's report needs.
        build build-asan -DLUMETRA_SANITIZE=address -DLUMETRA_BUILD_BENCH=OFF \
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_tests build-asan
        build build-tsan -DLUMETRA_SANITIZE=thread -DLUMETRA_BUILD_BENCH=OFF -- threads_tests
        TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" run_tests build-tsan -L threads
        ;;
    install)
        cmake --install build --component tool --prefix "$HOME/.local"
        install -D -m 0644 build/Lumetra.so "$HOME/.vst/Lumetra.so"
        install -D -m 0644 build/Lumetra.clap "$HOME/.clap/Lumetra.clap"
        rm -rf "$HOME/.lv2/Lumetra.lv2"
        install -d "$HOME/.lv2/Lumetra.lv2"
        install -m 0644 build/Lumetra.lv2/* "$HOME/.lv2/Lumetra.lv2/"
        echo "setup: installed $HOME/.vst/Lumetra.so, $HOME/.clap/Lumetra.clap, $HOME/.lv2/Lumetra.lv2 and $HOME/.local/bin/lumetra" >&2
        ;;
    *)
        echo "usage: $0 [run|test|install]" >&2
        exit 2
        ;;
esac
