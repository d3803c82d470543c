#!/usr/bin/env bash
# A real LV2 host showing the editor: jalv's GTK 3 host, on a private JACK server on its dummy
# driver, takes the bundle's X11 UI (suil embeds it in a GTK window) and shows it: the editor's
# 900 x 277 window inside jalv's. Needs the tests' X display; skips (77) without it, jalv.gtk3,
# jackd or xwininfo.
#   lv2_ui_host_test.sh BUNDLE
set -euo pipefail
bundle=$1
[[ -n ${DISPLAY:-} ]] || { echo "no X display"; exit 77; }
for tool in jalv.gtk3 jackd jack_lsp xwininfo; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d)
pids=()
# jalv first, then the server once jalv has gone: a server that ends while a client is still
# leaving keeps its entry in JACK's registry of servers, which holds eight.
cleanup() {
    for ((k = ${#pids[@]} - 1; k >= 0; --k)); do
        kill "${pids[k]}" 2>/dev/null || true
        wait "${pids[k]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$1"; printf '%s\n' "$2"; exit 1; }
# Polls a command for up to 20 s.
until_true() { for _ in $(seq 100); do "$@" && return 0; sleep 0.2; done; return 1; }

export JACK_DEFAULT_SERVER=lumetra-ui-$$ JACK_NO_START_SERVER=1
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
pids+=($!)
until_true jack_lsp >/dev/null 2>&1 || fail "the JACK server did not start" ""

mkdir "$work/lv2"
ln -s "$(realpath "$bundle")" "$work/lv2/Lumetra.lv2"
LV2_PATH=$work/lv2 jalv.gtk3 -n lumetra-ui urn:lumetra:analyzer </dev/null >"$work/jalv.out" 2>&1 &
pids+=($!)

# The editor's window: 900 x 277, inside the top-level window jalv names after the plug-in, and
# made by another X client than jalv's GTK windows (the editor's own connection): its id lies in
# another client's range (the server gives each client a range of 2^21 ids).
shown() {
    local tree top="" depth=0 line id
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    while IFS= read -r line; do
        local indent=${line%%[! ]*}
        if [[ -z $top ]]; then
            [[ $line == *'"Lumetra": ("jalv.gtk3"'* ]] || continue
            top=$(awk '{print $1}' <<<"$line") depth=${#indent}
        elif ((${#indent} <= depth)); then
            return 1
        elif [[ $line == *' 900x277+'* ]]; then
            id=$(awk '{print $1}' <<<"$line")
            (((id >> 21) != (top >> 21))) && return 0
        fi
    done <<<"$tree"
    return 1
}
until_true shown || fail "jalv showed no 900 x 277 editor window:" "$(xwininfo -root -tree; cat "$work/jalv.out")"
grep -q "^UI: *urn:lumetra:analyzer:ui$" "$work/jalv.out" || fail "jalv did not take the bundle's UI:" "$(cat "$work/jalv.out")"
kill -0 "${pids[1]}" || fail "jalv ended:" "$(cat "$work/jalv.out")"
