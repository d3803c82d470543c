#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from the build folder, named as Debian
# names packages, its files where hosts and shells look, its dependencies declared, and the module
# modules it carries loaded from the unpacked tree through the test hosts (`lumetra info`), and the
# LV2 bundle found where LV2 hosts look.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work" >/dev/null)
deb="$work/lumetra_${version}_amd64.deb"
[[ -f $deb ]] || { echo "no $deb; cpack made: $(ls "$work")"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for library in libcairo2 libx11-6 libsndfile1 libc6 liblilv-0-0; do
    [[ $depends == *"$library"* ]] || { echo "Depends lacks $library: $depends"; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
[[ -f $work/root/usr/lib/vst/Lumetra.so ]] || { echo "no /usr/lib/vst/Lumetra.so in the package"; exit 1; }
[[ -f $work/root/usr/lib/clap/Lumetra.clap ]] || { echo "no /usr/lib/clap/Lumetra.clap in the package"; exit 1; }
[[ -x $work/root/usr/bin/lumetra ]] || { echo "no /usr/bin/lumetra in the package"; exit 1; }
info=$("$work/root/usr/bin/lumetra" info "$work/root/usr/lib/vst/Lumetra.so")
for expected in "Lumetra" "Lmtr" "0x11"; do
    [[ $info == *"$expected"* ]] || { echo "lumetra info lacks $expected:"; echo "$info"; exit 1; }
done

# The LV2 bundle in /usr/lib/lv2, found there by lv2info (lilv, as LV2 hosts look) and made by
# lumetra info.
for file in manifest.ttl Lumetra.ttl presets.ttl Lumetra.so LumetraUI.so; do
    [[ -f $work/root/usr/lib/lv2/Lumetra.lv2/$file ]] || { echo "no /usr/lib/lv2/Lumetra.lv2/$file in the package"; exit 1; }
done
if command -v lv2info >/dev/null; then
    found=$(LV2_PATH=$work/root/usr/lib/lv2 lv2info urn:lumetra:analyzer 2>&1) || { echo "lv2info did not find it:"; echo "$found"; exit 1; }
    [[ $found == *"$work/root/usr/lib/lv2/Lumetra.lv2/LumetraUI.so"* ]] || { echo "lv2info:"; echo "$found"; exit 1; }
fi
info=$("$work/root/usr/bin/lumetra" info "$work/root/usr/lib/lv2/Lumetra.lv2")
[[ $info == *"made at 48000 Hz"* ]] || { echo "lumetra info of the packaged bundle:"; echo "$info"; exit 1; }

info=$("$work/root/usr/bin/lumetra" info "$work/root/usr/lib/clap/Lumetra.clap")
for expected in "CLAP 1." "Lumetra" "audio-effect analyzer stereo"; do
    [[ $info == *"$expected"* ]] || { echo "lumetra info lacks $expected:"; echo "$info"; exit 1; }
done
# Qtractor's plug-in scanner, where installed, lists the packaged CLAP module.
scanner=$(ls /usr/lib/*/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan 2>/dev/null | head -n 1 || true)
if [[ -n $scanner ]]; then
    scan=$(printf 'CLAP:%s\n' "$work/root/usr/lib/clap/Lumetra.clap" | HOME=$work timeout 60 "$scanner" 2>/dev/null)
    [[ $scan == "CLAP|Lumetra|2:2|"* ]] || { echo "Qtractor's scanner did not list the packaged module: $scan"; exit 1; }
fi
