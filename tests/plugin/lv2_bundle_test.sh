#!/usr/bin/env bash
# The LV2 bundle as LV2's own tools read it: its Turtle valid against the schemas that lv2-dev
# installs (sord_validate), and lv2info (lilv, which Linux hosts read bundles with), given the
# bundle alone on its LV2 path, listing the plug-in, its UI, its 40 ports with their units and
# its 16 presets. Skips (77) without the tools.
#   lv2_bundle_test.sh BUNDLE
set -euo pipefail
bundle=$1
for tool in sord_validate lv2info dpkg; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$1"; printf '%s\n' "$2"; exit 1; }

mapfile -t schemas < <(dpkg -L lv2-dev | grep -E '^/usr/lib/lv2/[^/]+\.lv2/[^/]+\.ttl$')
((${#schemas[@]} > 50)) || fail "lv2-dev installs only ${#schemas[@]} schema files" ""
validation=$(sord_validate "${schemas[@]}" "$bundle"/*.ttl 2>&1) || fail "sord_validate found faults:" "$validation"
[[ $validation == *"Found 0 errors"* ]] || fail "sord_validate did not report 0 errors:" "$validation"

mkdir "$work/lv2"
ln -s "$(realpath "$bundle")" "$work/lv2/Lumetra.lv2"
info=$(LV2_PATH=$work/lv2 lv2info urn:lumetra:analyzer 2>&1) || fail "lv2info failed:" "$info"
for expected in $'Name:              Lumetra' $'Author:            Farnwick board' 'urn:lumetra:analyzer:ui' \
                'ui#X11UI' 'Lumetra.lv2/LumetraUI.so' 'Lumetra.lv2/Lumetra.so' 'Has latency:       no'; do
    [[ $info == *"$expected"* ]] || fail "lv2info did not report $expected:" "$info"
done
symbols=$(grep -oE 'Symbol: +[a-z_0-9]+' <<<"$info" | awk '{print $2}' | tr '\n' ' ')
wanted="in_l in_r out_l out_r delay gain mode resp $(for j in $(seq 0 31); do printf 'level_%d ' "$j"; done)"
[[ $symbols == "$wanted" ]] || fail "lv2info listed the ports $symbols" "$info"
presets=$(awk '/Presets:/ {on = 1; next} on && /^\t +[^ ]/ {sub(/^[ \t]+/, ""); print} on && /^$/ {exit}' <<<"$info" | sort -V)
[[ $presets == "$(printf 'Init %d\n' $(seq 1 16))" ]] || fail "lv2info listed the presets:" "$presets"

# The units, in the Turtle that lv2info writes of the plug-in as lilv read it: ms for Delay, dB
# for Gain and each of the 32 levels.
written=$(LV2_PATH=$work/lv2 lv2info -p "$work/plugin.ttl" urn:lumetra:analyzer 2>&1) || fail "lv2info -p failed:" "$written"
flat=$(tr -d '\n\t' <"$work/plugin.ttl")
port() { grep -oE "\[[^][]*lv2:symbol \"$1\"[^][]*\]" <<<"$flat" || true; }
[[ $(port delay) == *'units#unit> <http://lv2plug.in/ns/extensions/units#ms>'* ]] || fail "Delay is not in ms:" "$(port delay)"
[[ $(port gain) == *'units#unit> <http://lv2plug.in/ns/extensions/units#db>'* ]] || fail "Gain is not in dB:" "$(port gain)"
decibels=$(grep -o 'units#unit> <http://lv2plug.in/ns/extensions/units#db>' <<<"$flat" | wc -l)
((decibels == 33)) || fail "$decibels ports in dB, not 33 (Gain and the levels)" "$(cat "$work/plugin.ttl")"
