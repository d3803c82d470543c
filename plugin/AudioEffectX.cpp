#include "plugin/AudioEffectX.h"

#include "plugin/AEffEditor.h"

namespace {

VstKeyCode keyCodeOf(VstInt32 index, VstIntPtr value, float opt) {
    VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<unsigned char>(value);
    // A finite opt in int range truncates; anything else gives no modifier instead of an
    // undefined conversion.
    key.modifier = (opt > -2147483648.0f && opt < 2147483648.0f) ? static_cast<unsigned char>(static_cast<int>(opt)) : 0;
    return key;
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const auto flag = [](bool b) -> VstIntPtr { return b ? 1 : 0; };
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated: return flag(canParameterBeAutomated(index));
    case effString2Parameter: return flag(string2parameter(index, text));
    case effGetProgramNameIndexed:
        return ptr ? flag(getProgramNameIndexed(static_cast<VstInt32>(value), index, text)) : 0;
    case effGetInputProperties: return ptr ? flag(getInputProperties(index, static_cast<VstPinProperties*>(ptr))) : 0;
    case effGetOutputProperties: return ptr ? flag(getOutputProperties(index, static_cast<VstPinProperties*>(ptr))) : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effOfflineNotify: return flag(offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<VstInt32>(value), index != 0));
    case effOfflinePrepare: return flag(offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
    case effOfflineRun: return flag(offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
    case effProcessVarIo: return flag(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
        return flag(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                          static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBypass: return flag(setBypass(value != 0));
    case effGetEffectName: return ptr ? flag(getEffectName(text)) : 0;
    case effGetVendorString: return ptr ? flag(getVendorString(text)) : 0;
    case effGetProductString: return ptr ? flag(getProductString(text)) : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return ptr ? canDo(text) : 0;
    case effGetTailSize: return getGetTailSize();
    case effGetParameterProperties:
        return ptr ? flag(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr))) : 0;
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
        if (editor) {
            VstKeyCode key = keyCodeOf(index, value, opt);
            return flag(editor->onKeyDown(key));
        }
        return 0;
    case effEditKeyUp:
        if (editor) {
            VstKeyCode key = keyCodeOf(index, value, opt);
            return flag(editor->onKeyUp(key));
        }
        return 0;
    case effSetEditKnobMode: return editor ? flag(editor->setKnobMode(static_cast<VstInt32>(value))) : 0;
    case effGetMidiProgramName: return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory: return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged: return flag(hasMidiProgramsChanged(index));
    case effGetMidiKeyName: return flag(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram: return flag(beginSetProgram());
    case effEndSetProgram: return flag(endSetProgram());
    case effGetSpeakerArrangement:
        return flag(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                          static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin: return getNextShellPlugin(text);
    case effStartProcess: return startProcess();
    case effStopProcess: return stopProcess();
    case effSetTotalSampleToProcess: return setTotalSampleToProcess(static_cast<VstInt32>(value));
    case effSetPanLaw: return flag(setPanLaw(static_cast<VstInt32>(value), opt));
    case effBeginLoadBank: return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram: return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    case effSetProcessPrecision: return flag(setProcessPrecision(static_cast<VstInt32>(value)));
    case effGetNumMidiInputChannels: return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels: return getNumMidiOutputChannels();
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput) {
    if (pluginInput) *pluginInput = nullptr;
    if (pluginOutput) *pluginOutput = nullptr;
    return false;
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }
VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}
VstInt32 AudioEffectX::tempoAt(VstInt32 pos) { return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos)); }
VstInt32 AudioEffectX::getNumAutomatableParameters() {
    return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
}
VstInt32 AudioEffectX::getParameterQuantization() {
    return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
}
bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }
bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle) != 0; }
bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}
double AudioEffectX::updateSampleRate() {
    const VstIntPtr answer = callHost(audioMasterGetSampleRate);
    if (answer > 0) sampleRate = static_cast<float>(answer);
    return sampleRate;
}
VstInt32 AudioEffectX::updateBlockSize() {
    const auto answer = static_cast<VstInt32>(callHost(audioMasterGetBlockSize));
    if (answer > 0) blockSize = answer;
    return blockSize;
}
VstInt32 AudioEffectX::getInputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetInputLatency)); }
VstInt32 AudioEffectX::getOutputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency)); }
// The pin number is not sent: the host answers for the effect as a whole.
AEffect* AudioEffectX::getPreviousPlug(VstInt32 /*input*/) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}
AEffect* AudioEffectX::getNextPlug(VstInt32 /*output*/) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}
VstInt32 AudioEffectX::willProcessReplacing() {
    return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
}
VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}
VstInt32 AudioEffectX::getAutomationState() { return static_cast<VstInt32>(callHost(audioMasterGetAutomationState)); }
bool AudioEffectX::offlineStart(VstAudioFile* ptr, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles) {
    return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, ptr) != 0;
}
bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}
bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
    return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}
VstInt32 AudioEffectX::offlineGetCurrentPass() { return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0; }
VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
    return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}
void AudioEffectX::setOutputSamplerate(float samplerate) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}
VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetOutputSpeakerArrangement));
}
VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetInputSpeakerArrangement));
}
bool AudioEffectX::getHostVendorString(char* text) { return callHost(audioMasterGetVendorString, 0, 0, text) != 0; }
bool AudioEffectX::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}
VstInt32 AudioEffectX::getHostVendorVersion() { return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion)); }
VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg, float floatArg) {
    return callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg);
}
VstInt32 AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0; }
VstInt32 AudioEffectX::getHostLanguage() { return static_cast<VstInt32>(callHost(audioMasterGetLanguage)); }
void* AudioEffectX::openWindow(void* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}
bool AudioEffectX::closeWindow(void* window) { return callHost(audioMasterCloseWindow, 0, 0, window) != 0; }
void* AudioEffectX::getDirectory() { return reinterpret_cast<void*>(callHost(audioMasterGetDirectory)); }
bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }
bool AudioEffectX::openFileSelector(void* ptr) {
    return ptr != nullptr && callHost(audioMasterOpenFileSelector, 0, 0, ptr) != 0;
}
bool AudioEffectX::closeFileSelector(void* ptr) {
    return ptr != nullptr && callHost(audioMasterCloseFileSelector, 0, 0, ptr) != 0;
}
bool AudioEffectX::getChunkFile(void* nativePath) {
    return nativePath != nullptr && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}
