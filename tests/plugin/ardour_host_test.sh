#!/usr/bin/env bash
# A real Linux host: Ardour's own VST 2.4 scanner scans the built module, and Ardour's headless
# Lua interpreter, on its dummy audio engine, finds it on its VST path, lists its 16 programs and
# 5 parameters, and inserts it on a track of a running project. Skips (77) without Ardour.
#   ardour_host_test.sh MODULE SCRIPT
set -euo pipefail
module=$1 script=$2
lua=$(compgen -c | grep -E '^ardour[0-9]+-lua$' | sort -V | tail -n 1 || true)
scanner=$(ls /usr/lib/ardour*/ardour-vst-scanner 2>/dev/null | sort -V | tail -n 1 || true)
[[ -n $lua && -n $scanner ]] || { echo "Ardour is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/vst"
ln -s "$(realpath "$module")" "$work/vst/Lumetra.so"
export HOME=$work XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config LXVST_PATH=$work/vst

fail() { echo "$1"; printf '%s\n' "$2"; exit 1; }

scan=$(LD_LIBRARY_PATH=$(dirname "$scanner") timeout 60 "$scanner" -v "$work/vst/Lumetra.so" 2>&1) || fail "the scanner failed:" "$scan"
for expected in 'name="Lumetra"' 'creator="Farnwick board"' 'category="Effect"' 'n_inputs="2"' 'n_outputs="2"' \
                'can_process_replace="1"' 'has_editor="1"' "id=\"$(( 0x4C6D7472 ))\""; do
    [[ $scan == *"$expected"* ]] || fail "the scanner did not report $expected:" "$scan"
done

out=$(timeout 120 "$lua" "$script" "$work/project" 2>&1 | tr '\t' ' ') || fail "the Lua script failed:" "$out"
grep -qE "^plugin Lumetra $(( 0x4C6D7472 )) Farnwick board Effect$" <<<"$out" || fail "Ardour did not find the module:" "$out"
programs=$(grep -c '^program ' <<<"$out" || true)
[[ $programs == 16 ]] || fail "Ardour listed $programs programs, not 16:" "$out"
parameters=$(grep '^parameter ' <<<"$out" | cut -d' ' -f2 | tr '\n' ' ')
[[ $parameters == "Delay FeedBack Volume Mode Resp " ]] || fail "Ardour listed the parameters $parameters:" "$out"
grep -q "^inserted 0 true$" <<<"$out" || fail "the module was not inserted on a running project's track:" "$out"
