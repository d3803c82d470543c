#!/usr/bin/env bash
# A real Linux host: Ardour's own VST 2.4 scanner scans the built module, and Ardour's headless
# Lua interpreter, on its dummy audio engine, finds it on its VST path, lists its 16 programs and
# 5 parameters, and inserts it on a track of a running project. Given the LV2 bundle too, it
# finds that on its LV2 path with its 16 presets and 4 + 32 ports, and inserts it on another
# track. Skips (77) without Ardour.
#   ardour_host_test.sh MODULE SCRIPT [LV2_BUNDLE]
set -euo pipefail
module=$1 script=$2 bundle=${3:-}
lua=$(compgen -c | grep -E '^ardour[0-9]+-lua$' | sort -V | tail -n 1 || true)
scanner=$(ls /usr/lib/ardour*/ardour-vst-scanner 2>/dev/null | sort -V | tail -n 1 || true)
[[ -n $lua && -n $scanner ]] || { echo "Ardour is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/vst" "$work/lv2"
ln -s "$(realpath "$module")" "$work/vst/Lumetra.so"
lv2uri=()
if [[ -n $bundle ]]; then
    ln -s "$(realpath "$bundle")" "$work/lv2/Lumetra.lv2"
    ln -s /usr/lib/lv2/core.lv2 "$work/lv2/core.lv2"  # the plug-in classes, which name its category
    lv2uri=(urn:lumetra:analyzer)
fi
export HOME=$work XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config LXVST_PATH=$work/vst LV2_PATH=$work/lv2

fail() { echo "$1"; printf '%s\n' "$2"; exit 1; }

scan=$(LD_LIBRARY_PATH=$(dirname "$scanner") timeout 60 "$scanner" -v "$work/vst/Lumetra.so" 2>&1) || fail "the scanner failed:" "$scan"
for expected in 'name="Lumetra"' 'creator="Farnwick board"' 'category="Effect"' 'n_inputs="2"' 'n_outputs="2"' \
                'can_process_replace="1"' 'has_editor="1"' "id=\"$(( 0x4C6D7472 ))\""; do
    [[ $scan == *"$expected"* ]] || fail "the scanner did not report $expected:" "$scan"
done

out=$(timeout 120 "$lua" "$script" "$work/project" "${lv2uri[@]}" 2>&1 | tr '\t' ' ') || fail "the Lua script failed:" "$out"
grep -qE "^plugin Lumetra $(( 0x4C6D7472 )) Farnwick board Effect$" <<<"$out" || fail "Ardour did not find the module:" "$out"
programs=$(grep -c '^program ' <<<"$out" || true)
[[ $programs == 16 ]] || fail "Ardour listed $programs programs, not 16:" "$out"
parameters=$(grep '^parameter ' <<<"$out" | cut -d' ' -f2 | tr '\n' ' ')
[[ $parameters == "Delay FeedBack Volume Mode Resp " ]] || fail "Ardour listed the parameters $parameters:" "$out"
grep -q "^inserted 0 true$" <<<"$out" || fail "the module was not inserted on a running project's track:" "$out"

[[ -n $bundle ]] || exit 0
grep -qE "^lv2plugin Lumetra urn:lumetra:analyzer Farnwick board Analyser Plugin$" <<<"$out" || fail "Ardour did not find the LV2 plug-in:" "$out"
presets=$(grep -c '^lv2preset Init [0-9]*$' <<<"$out" || true)
[[ $presets == 16 ]] || fail "Ardour listed $presets LV2 presets, not 16:" "$out"
inputs=$(grep '^lv2parameter .* true$' <<<"$out" | cut -d' ' -f2 | tr '\n' ' ')
[[ $inputs == "Delay Gain Mode Resp " ]] || fail "Ardour listed the LV2 controls $inputs:" "$out"
levels=$(grep -c '^lv2parameter Level .* false$' <<<"$out" || true)
[[ $levels == 32 ]] || fail "Ardour listed $levels LV2 level outputs, not 32:" "$out"
grep -q "^lv2inserted 0 true$" <<<"$out" || fail "the LV2 plug-in was not inserted on a running project's track:" "$out"
