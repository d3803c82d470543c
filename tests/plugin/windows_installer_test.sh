#!/usr/bin/env bash
# The Windows release as a user gets it, under Wine: the installer run silently as an administrator
# runs it puts the 64-bit plug-in (and with /WITH32 the 32-bit one) into Common Files\VST2, or into
# the folder the registry names for VST plug-ins, and the CLAP modules into Common Files\CLAP;
# registers its uninstaller with Windows; the installed modules load in the project's test hosts;
# the silent uninstall leaves no file and no key. Then the zip archives hold exactly the two
# modules, README.txt and LICENSE.txt.
#   windows_installer_test.sh PREFIX INSTALLER LUMETRA64_EXE LUMETRA32_EXE ZIP64 ZIP32
set -euo pipefail
prefix=$1 installer=$2 tool64=$3 tool32=$4 zip64=$5 zip32=$6
here=$(cd "$(dirname "$0")" && pwd)
wine_run() { "$here/../../cmake/wine-run.sh" "$prefix" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

drive=$prefix/drive_c
vst64="$drive/Program Files/Common Files/VST2/Lumetra.dll"
vst32="$drive/Program Files (x86)/Common Files/VST2/Lumetra.dll"
clap64="$drive/Program Files/Common Files/CLAP/Lumetra.clap"
clap32="$drive/Program Files (x86)/Common Files/CLAP/Lumetra.clap"
uninstaller="$drive/Program Files/Lumetra/Uninstall.exe"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumetra'

# The 64-bit registry view, where a 64-bit Windows keeps what the installer writes.
has_key() { wine_run reg query "$1" /reg:64 >/dev/null 2>&1; }

# Waits for the uninstaller, which runs on from a copy of itself, to have removed its key.
uninstall() {
    wine_run 'C:\Program Files\Lumetra\Uninstall.exe' /S
    for ((i = 0; i < 600; i++)); do
        has_key "$uninstall_key" || return 0
        sleep 0.1
    done
    fail "the uninstaller did not finish"
}

loads() {  # loads TOOL WINDOWS_PATH: the test host sees the effect in it
    wine_run "$1" info "$2" | grep -q "unique ID *0x4C6D7472 (Lmtr)" || fail "$2 does not load"
}
loads_clap() {  # loads_clap TOOL WINDOWS_PATH: the CLAP host finds the plug-in in it
    wine_run "$1" info "$2" | grep -q "audio-effect analyzer stereo" || fail "$2 does not load"
}

# 1. Both plug-ins into Common Files.
wine_run "$installer" /S /WITH32
[[ -f $vst64 ]] || fail "no 64-bit plug-in in Common Files\\VST2"
[[ -f $vst32 ]] || fail "no 32-bit plug-in in Common Files (x86)\\VST2"
[[ -f $clap64 && -f $clap32 ]] || fail "no CLAP modules in Common Files\\CLAP"
[[ -f $uninstaller ]] || fail "no uninstaller"
has_key "$uninstall_key" || fail "the uninstaller is not registered"
wine_run reg query "$uninstall_key" /v DisplayVersion /reg:64 | grep -q "1\.2\.0\.2" || fail "DisplayVersion"
loads "$tool64" 'C:\Program Files\Common Files\VST2\Lumetra.dll'
loads "$tool32" 'C:\Program Files (x86)\Common Files\VST2\Lumetra.dll'
loads_clap "$tool64" 'C:\Program Files\Common Files\CLAP\Lumetra.clap'
loads_clap "$tool32" 'C:\Program Files (x86)\Common Files\CLAP\Lumetra.clap'
uninstall
[[ ! -e $vst64 && ! -e $vst32 && ! -e $clap64 && ! -e $clap32 && ! -e $uninstaller ]] || fail "files left after uninstalling"
[[ ! -e "$drive/Program Files/Lumetra" ]] || fail "the program folder was left"
has_key 'HKLM\Software\Lumetra' && fail "the installer's key was left"

# 2. A folder for VST plug-ins recorded in the registry, 64-bit plug-in only.
wine_run reg add 'HKLM\Software\VST' /v VSTPluginsPath /d 'C:\Audio\VstPlugins' /f /reg:64 >/dev/null
wine_run "$installer" /S
[[ -f "$drive/Audio/VstPlugins/Lumetra.dll" ]] || fail "the registry's VST folder was not used"
[[ ! -e $vst64 && ! -e $vst32 && ! -e $clap32 ]] || fail "installed where it was not asked to"
[[ -f $clap64 ]] || fail "no 64-bit CLAP module"
loads "$tool64" 'C:\Audio\VstPlugins\Lumetra.dll'
uninstall
[[ ! -e "$drive/Audio/VstPlugins/Lumetra.dll" ]] || fail "the plug-in was left in the registry's folder"
wine_run reg delete 'HKLM\Software\VST' /f /reg:64 >/dev/null
rmdir "$drive/Audio" 2>/dev/null || true

# 3. The archives.
for zip in "$zip64" "$zip32"; do
    name=$(basename "$zip" .zip)
    listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [[ $listed == "$name/LICENSE.txt $name/Lumetra.clap $name/Lumetra.dll $name/README.txt " ]] || fail "$zip holds: $listed"
done
echo "installer and archives: ok"
