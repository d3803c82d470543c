// The effect classes linked directly: host-call wrappers, requests reaching their operations
// with the right conversions, editor routing and ownership, ADelayEdit's forwarding order, and
// the number-to-text routines.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/ADelayEdit.h"
#include "plugin/AEffEditor.h"
#include "plugin/AudioEffectX.h"

namespace {

struct Call {
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class TestEffect;
std::vector<Call> calls;
VstIntPtr nextAnswer = 0;
TestEffect* observed = nullptr;
float seenDuringAutomate = -1.0f;

// Records which operation a request reached and with what.
class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(audioMasterCallback master) : AudioEffectX(master, 16, 3) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override { params[index] = value; }
    float getParameter(VstInt32 index) override { return params[index]; }
    void suspend() override { seen = "suspend"; }
    void resume() override { seen = "resume"; }
    void setProgram(VstInt32 program) override {
        seen = "setProgram";
        AudioEffectX::setProgram(program);
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        seen = "getChunk";
        flag = isPreset;
        *data = nullptr;
        return -7;
    }
    VstInt32 setChunk(void*, VstInt32 byteSize, bool isPreset) override {
        seen = "setChunk";
        number = byteSize;
        flag = isPreset;
        return 0;
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char*) override {
        seen = "getProgramNameIndexed";
        number = category;
        other = index;
        return true;
    }
    bool setBypass(bool onOff) override {
        seen = "setBypass";
        flag = onOff;
        return true;
    }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void*, float) override {
        seen = "vendorSpecific";
        other = index;
        return value;  // full width comes back
    }
    bool setPanLaw(VstInt32 type, float value) override {
        seen = "setPanLaw";
        number = type;
        real = value;
        return false;
    }
    bool offlineNotify(VstAudioFile*, VstInt32 count, bool start) override {
        seen = "offlineNotify";
        number = count;
        flag = start;
        return true;
    }
    float params[3] = {};
    std::string seen;
    VstInt32 number = 0, other = 0;
    bool flag = false;
    float real = 0.0f;
};

VstIntPtr record(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    calls.push_back({opcode, index, value, ptr, opt});
    if (opcode == audioMasterAutomate && observed) seenDuringAutomate = observed->getParameter(index);
    return nextAnswer;
}

class HostCalls : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        nextAnswer = 0;
    }
    TestEffect effect{record};
    TestEffect silent{nullptr};
};

char canDoText[] = "sizeWindow";
int dummyObject = 0;
void* const somePtr = &dummyObject;

struct Wrapper {
    const char* name;
    std::function<VstIntPtr(TestEffect&)> call;
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
    VstIntPtr answer;       // what the host answers
    VstIntPtr gives;        // what the operation gives then
    VstIntPtr withoutHost;  // what it gives with a null callback
};

template <typename T>
VstIntPtr asInt(T* p) {
    return reinterpret_cast<VstIntPtr>(p);
}

const VstIntPtr kAddress = 0x1000;
// An answer that uses every bit of VstIntPtr: above 32 bits where the host's pointers have them.
const VstIntPtr kWide = sizeof(VstIntPtr) > 4 ? static_cast<VstIntPtr>(0x100000007LL) : static_cast<VstIntPtr>(0x80000007u);
// Non-zero only in bits a narrowing to 32 (or, on 32-bit hosts, 24) bits would lose.
const VstIntPtr kHighBitsOnly = VstIntPtr(1) << (sizeof(VstIntPtr) * 8 - 9);

std::vector<Wrapper> wrappers() {
    auto task = static_cast<VstOfflineTask*>(somePtr);
    auto files = static_cast<VstAudioFile*>(somePtr);
    return {
        {"getMasterVersion", [](TestEffect& e) { return e.getMasterVersion(); }, 1, 0, 0, nullptr, 0, 2400, 2400, 1},
        {"getCurrentUniqueId", [](TestEffect& e) { return e.getCurrentUniqueId(); }, 2, 0, 0, nullptr, 0, 77, 77, 0},
        {"masterIdle", [](TestEffect& e) { e.masterIdle(); return VstIntPtr(0); }, 3, 0, 0, nullptr, 0, 1, 0, 0},
        {"isInputConnected", [](TestEffect& e) { return VstIntPtr(e.isInputConnected(3)); }, 4, 3, 0, nullptr, 0, 1, 0, 1},
        {"isOutputConnected", [](TestEffect& e) { return VstIntPtr(e.isOutputConnected(1)); }, 4, 1, 1, nullptr, 0, 0, 1, 1},
        {"wantEvents", [](TestEffect& e) { e.wantEvents(5); return VstIntPtr(0); }, 6, 0, 5, nullptr, 0, 1, 0, 0},
        {"getTimeInfo", [](TestEffect& e) { return asInt(e.getTimeInfo(9)); }, 7, 0, 9, nullptr, 0, kAddress, kAddress, 0},
        {"tempoAt", [](TestEffect& e) { return VstIntPtr(e.tempoAt(100)); }, 10, 0, 100, nullptr, 0, 1200000, 1200000, 0},
        {"getNumAutomatableParameters", [](TestEffect& e) { return VstIntPtr(e.getNumAutomatableParameters()); }, 11, 0, 0, nullptr, 0, 9, 9, 0},
        {"getParameterQuantization", [](TestEffect& e) { return VstIntPtr(e.getParameterQuantization()); }, 12, 0, 0, nullptr, 0, 3, 3, 0},
        {"ioChanged", [](TestEffect& e) { return VstIntPtr(e.ioChanged()); }, 13, 0, 0, nullptr, 0, 2, 1, 0},
        {"needIdle", [](TestEffect& e) { return VstIntPtr(e.needIdle()); }, 14, 0, 0, nullptr, 0, 2, 1, 0},
        {"sizeWindow", [](TestEffect& e) { return VstIntPtr(e.sizeWindow(640, 480)); }, 15, 640, 480, nullptr, 0, 2, 1, 0},
        {"updateSampleRate", [](TestEffect& e) { return VstIntPtr(e.updateSampleRate()); }, 16, 0, 0, nullptr, 0, 48000, 48000, 44100},
        {"updateBlockSize", [](TestEffect& e) { return VstIntPtr(e.updateBlockSize()); }, 17, 0, 0, nullptr, 0, 256, 256, 1024},
        {"getInputLatency", [](TestEffect& e) { return VstIntPtr(e.getInputLatency()); }, 18, 0, 0, nullptr, 0, 64, 64, 0},
        {"getOutputLatency", [](TestEffect& e) { return VstIntPtr(e.getOutputLatency()); }, 19, 0, 0, nullptr, 0, 65, 65, 0},
        {"getPreviousPlug", [](TestEffect& e) { return asInt(e.getPreviousPlug(1)); }, 20, 0, 0, nullptr, 0, kAddress, kAddress, 0},
        {"getNextPlug", [](TestEffect& e) { return asInt(e.getNextPlug(1)); }, 21, 0, 0, nullptr, 0, kAddress, kAddress, 0},
        {"willProcessReplacing", [](TestEffect& e) { return VstIntPtr(e.willProcessReplacing()); }, 22, 0, 0, nullptr, 0, 1, 1, 0},
        {"getCurrentProcessLevel", [](TestEffect& e) { return VstIntPtr(e.getCurrentProcessLevel()); }, 23, 0, 0, nullptr, 0, 2, 2, 0},
        {"getAutomationState", [](TestEffect& e) { return VstIntPtr(e.getAutomationState()); }, 24, 0, 0, nullptr, 0, 3, 3, 0},
        {"offlineStart", [files](TestEffect& e) { return VstIntPtr(e.offlineStart(files, 3, 1)); }, 25, 1, 3, somePtr, 0, 2, 1, 0},
        {"offlineRead", [task](TestEffect& e) { return VstIntPtr(e.offlineRead(task, 4, true)); }, 26, 1, 4, somePtr, 0, 2, 1, 0},
        {"offlineWrite", [task](TestEffect& e) { return VstIntPtr(e.offlineWrite(task, 4)); }, 27, 0, 4, somePtr, 0, 2, 1, 0},
        {"offlineGetCurrentPass", [](TestEffect& e) { return VstIntPtr(e.offlineGetCurrentPass()); }, 28, 0, 0, nullptr, 0, 2, 1, 0},
        {"offlineGetCurrentMetaPass", [](TestEffect& e) { return VstIntPtr(e.offlineGetCurrentMetaPass()); }, 29, 0, 0, nullptr, 0, 2, 1, 0},
        {"setOutputSamplerate", [](TestEffect& e) { e.setOutputSamplerate(96000.0f); return VstIntPtr(0); }, 30, 0, 0, nullptr, 96000.0f, 1, 0, 0},
        {"getOutputSpeakerArrangement", [](TestEffect& e) { return asInt(e.getOutputSpeakerArrangement()); }, 31, 0, 0, nullptr, 0, kAddress, kAddress, 0},
        {"getHostVendorString", [](TestEffect& e) { return VstIntPtr(e.getHostVendorString(canDoText)); }, 32, 0, 0, canDoText, 0, 2, 1, 0},
        {"getHostProductString", [](TestEffect& e) { return VstIntPtr(e.getHostProductString(canDoText)); }, 33, 0, 0, canDoText, 0, 2, 1, 0},
        {"getHostVendorVersion", [](TestEffect& e) { return VstIntPtr(e.getHostVendorVersion()); }, 34, 0, 0, nullptr, 0, 1000, 1000, 0},
        {"hostVendorSpecific", [](TestEffect& e) { return e.hostVendorSpecific(5, 6, somePtr, 0.5f); }, 35, 5, 6, somePtr, 0.5f, kWide, kWide, 0},
        {"canHostDo", [](TestEffect& e) { return VstIntPtr(e.canHostDo(canDoText)); }, 37, 0, 0, canDoText, 0, 2, 1, 0},
        {"getHostLanguage", [](TestEffect& e) { return VstIntPtr(e.getHostLanguage()); }, 38, 0, 0, nullptr, 0, 1, 1, 0},
        {"openWindow", [](TestEffect& e) { return asInt(e.openWindow(somePtr)); }, 39, 0, 0, somePtr, 0, kAddress, kAddress, 0},
        {"closeWindow", [](TestEffect& e) { return VstIntPtr(e.closeWindow(somePtr)); }, 40, 0, 0, somePtr, 0, 2, 1, 0},
        {"getDirectory", [](TestEffect& e) { return asInt(e.getDirectory()); }, 41, 0, 0, nullptr, 0, kAddress, kAddress, 0},
        {"updateDisplay", [](TestEffect& e) { return VstIntPtr(e.updateDisplay()); }, 42, 0, 0, nullptr, 0, 2, 1, 0},
        {"beginEdit", [](TestEffect& e) { return VstIntPtr(e.beginEdit(3)); }, 43, 3, 0, nullptr, 0, 2, 1, 0},
        {"endEdit", [](TestEffect& e) { return VstIntPtr(e.endEdit(4)); }, 44, 4, 0, nullptr, 0, 2, 1, 0},
        {"openFileSelector", [](TestEffect& e) { return VstIntPtr(e.openFileSelector(somePtr)); }, 45, 0, 0, somePtr, 0, 2, 1, 0},
        {"closeFileSelector", [](TestEffect& e) { return VstIntPtr(e.closeFileSelector(somePtr)); }, 46, 0, 0, somePtr, 0, 2, 1, 0},
        {"getChunkFile", [](TestEffect& e) { return VstIntPtr(e.getChunkFile(somePtr)); }, 48, 0, 0, somePtr, 0, 2, 1, 0},
        {"getInputSpeakerArrangement", [](TestEffect& e) { return asInt(e.getInputSpeakerArrangement()); }, 49, 0, 0, nullptr, 0, kAddress, kAddress, 0},
    };
}

TEST_F(HostCalls, EachWrapperSendsItsOpcodeAndGivesItsAnswer) {
    for (const Wrapper& w : wrappers()) {
        SCOPED_TRACE(w.name);
        calls.clear();
        nextAnswer = w.answer;
        TestEffect fresh(record);
        EXPECT_EQ(w.call(fresh), w.gives);
        ASSERT_EQ(calls.size(), 1u);
        const Call& c = calls.front();
        EXPECT_EQ(c.opcode, w.opcode);
        EXPECT_EQ(c.index, w.index);
        EXPECT_EQ(c.value, w.value);
        EXPECT_EQ(c.ptr, w.ptr);
        EXPECT_EQ(c.opt, w.opt);
        TestEffect alone(nullptr);
        EXPECT_EQ(w.call(alone), w.withoutHost);
    }
}

TEST_F(HostCalls, ZeroAnswersGiveTheDocumentedFallbacks) {
    nextAnswer = 0;
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_TRUE(effect.isInputConnected(0));  // 0 means connected
    effect.setSampleRate(22050.0f);
    effect.setBlockSize(64);
    EXPECT_EQ(effect.updateSampleRate(), 22050.0);  // a non-positive answer keeps the stored rate
    EXPECT_EQ(effect.updateBlockSize(), 64);
    nextAnswer = -5;
    EXPECT_EQ(effect.updateBlockSize(), 64);
    calls.clear();
    EXPECT_FALSE(effect.openFileSelector(nullptr));  // null: the host is not even asked
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(calls.empty());
}

TEST_F(HostCalls, AutomationStoresBeforeTellingTheHost) {
    observed = &effect;
    effect.setParameterAutomated(2, 0.75f);
    observed = nullptr;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls.back().opcode, audioMasterAutomate);
    EXPECT_EQ(calls.back().index, 2);
    EXPECT_EQ(calls.back().value, 0);
    EXPECT_EQ(calls.back().opt, 0.75f);
    EXPECT_EQ(seenDuringAutomate, 0.75f);
    silent.setParameterAutomated(1, 0.5f);  // no host: only the parameter changes
    EXPECT_EQ(silent.getParameter(1), 0.5f);
}

VstIntPtr dispatch(TestEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    AEffect* e = effect.getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

TEST(Dispatcher, RequestsReachTheirOperationsWithConvertedArguments) {
    TestEffect effect(nullptr);
    dispatch(effect, effMainsChanged, 0, 0);
    EXPECT_EQ(effect.seen, "suspend");
    dispatch(effect, effMainsChanged, 0, 5);
    EXPECT_EQ(effect.seen, "resume");
    dispatch(effect, effMainsChanged, 0, kHighBitsOnly);  // non-zero in the high bits only
    EXPECT_EQ(effect.seen, "resume");

    EXPECT_EQ(dispatch(effect, effSetProgram, 0, 15), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 15);
    // The whole pointer-width value is checked: a narrowed 0x1'0000'0003 would be program 3.
    const VstIntPtr wideThree = sizeof(VstIntPtr) > 4 ? static_cast<VstIntPtr>(0x100000003LL) : VstIntPtr(16);
    for (VstIntPtr bad : {VstIntPtr(16), VstIntPtr(-1), wideThree, std::numeric_limits<VstIntPtr>::min()}) {
        effect.seen.clear();
        EXPECT_EQ(dispatch(effect, effSetProgram, 0, bad), 0);
        EXPECT_EQ(effect.seen, "") << bad;
        EXPECT_EQ(dispatch(effect, effGetProgram), 15);
    }

    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    dispatch(effect, effSetBlockSize, 0, 333);
    EXPECT_EQ(effect.getBlockSize(), 333);

    void* data = somePtr;
    EXPECT_EQ(dispatch(effect, effGetChunk, 1, 0, &data), -7);  // int32 answer, sign-extended
    EXPECT_TRUE(effect.flag);
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, 4096, somePtr), 0);
    EXPECT_EQ(effect.number, 4096);
    EXPECT_FALSE(effect.flag);

    char name[32];
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 9, 2, name), 1);
    EXPECT_EQ(effect.number, 2);  // category comes in value
    EXPECT_EQ(effect.other, 9);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, kHighBitsOnly), 1);
    EXPECT_TRUE(effect.flag);
    EXPECT_EQ(dispatch(effect, effVendorSpecific, 4, kWide), kWide);
    EXPECT_EQ(effect.other, 4);
    EXPECT_EQ(dispatch(effect, effSetPanLaw, 0, 2, nullptr, 0.25f), 0);
    EXPECT_EQ(effect.number, 2);
    EXPECT_EQ(effect.real, 0.25f);
    EXPECT_EQ(dispatch(effect, effOfflineNotify, 1, 3, somePtr), 1);
    EXPECT_EQ(effect.number, 3);
    EXPECT_TRUE(effect.flag);
    EXPECT_EQ(dispatch(effect, effSetTotalSampleToProcess, 0, 512), 512);
    EXPECT_EQ(dispatch(effect, effIdentify), fourCharCode('N', 'v', 'E', 'f'));

    // Deprecated and unknown requests answer 0 and reach nothing.
    effect.seen.clear();
    for (VstInt32 op : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 1000, -1})
        EXPECT_EQ(dispatch(effect, op, 1, 1, somePtr, 1.0f), 0) << op;
    EXPECT_EQ(effect.seen, "");
}

TEST(Dispatcher, BaseDescriptorAndFlagSetters) {
    TestEffect effect(nullptr);
    const AEffect* e = effect.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->uniqueID, fourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, &effect);
    effect.programsAreChunks(true);
    effect.canDoubleReplacing(true);
    effect.isSynth();
    effect.noTail();
    effect.hasVu(true);
    effect.hasClip(true);
    effect.canMono(true);
    EXPECT_EQ(e->flags, 0x10 | 0x20 | 0x1000 | 0x100 | 0x200 | 0x4 | 0x2 | 0x8);
    effect.programsAreChunks(false);
    effect.canProcessReplacing(false);
    effect.isSynth(false);
    EXPECT_EQ(e->flags, 0x1000 | 0x200 | 0x4 | 0x2 | 0x8);
}

struct EditorLog {
    bool gone = false;
    std::vector<std::string> calls;
    VstKeyCode key{};
    ERect rect{0, 0, 277, 900};
};

class RecordingEditor : public AEffEditor {
public:
    RecordingEditor(AudioEffect* effect, EditorLog& log) : AEffEditor(effect), log(log) {}
    ~RecordingEditor() override { log.gone = true; }
    bool getRect(ERect** rect) override {
        log.calls.push_back("getRect");
        *rect = &log.rect;
        return true;
    }
    bool open(void*) override {
        log.calls.push_back("open");
        return true;
    }
    void close() override { log.calls.push_back("close"); }
    void idle() override { log.calls.push_back("idle"); }
    bool onKeyDown(VstKeyCode& key) override {
        log.calls.push_back("keyDown");
        log.key = key;
        return true;
    }
    bool onKeyUp(VstKeyCode& key) override {
        log.calls.push_back("keyUp");
        log.key = key;
        return false;
    }
    bool setKnobMode(VstInt32 mode) override {
        log.calls.push_back("knobMode " + std::to_string(mode));
        return true;
    }
    void setParameter(VstInt32 index, float value) override {
        // Reads the effect back: the effect must have stored the value before telling the editor.
        log.calls.push_back("setParameter " + std::to_string(index) + " " + std::to_string(value) + " stored " +
                            std::to_string(effect->getParameter(index)));
    }
    EditorLog& log;
};

TEST(Dispatcher, EditorRequestsAndKeyCodes) {
    EditorLog log;
    auto* effect = new TestEffect(nullptr);
    new RecordingEditor(effect, log);
    AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->flags, effFlagsCanReplacing | effFlagsHasEditor);
    ERect* rect = nullptr;
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 1);
    EXPECT_EQ(rect, &log.rect);
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, nullptr, 0.0f), 0);  // nowhere to write
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, somePtr, 0.0f), 1);
    EXPECT_EQ(e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(e, effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);

    EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 65, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(log.key.character, 65);
    EXPECT_EQ(log.key.virt, 0);
    EXPECT_EQ(log.key.modifier, 0);
    // virt is the value's low byte, modifier opt truncated to an integer, then its low byte.
    EXPECT_EQ(e->dispatcher(e, effEditKeyUp, 0x1F600, 0x141, nullptr, 259.9f), 0);
    EXPECT_EQ(log.key.character, 0x1F600);
    EXPECT_EQ(log.key.virt, 0x41);
    EXPECT_EQ(log.key.modifier, 3);
    EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 1, 1, nullptr, std::nanf("")), 1);  // no undefined conversion
    EXPECT_EQ(log.key.modifier, 0);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"getRect", "open", "idle", "close", "knobMode 2", "keyDown",
                                                   "keyUp", "keyDown"}));

    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(log.gone);  // and the effect itself: ASan reports a leak otherwise
}

TEST(Dispatcher, EditorRequestsWithoutEditorAnswerZero) {
    TestEffect effect(nullptr);
    ERect* rect = nullptr;
    for (VstInt32 op : {effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown, effEditKeyUp,
                        effSetEditKnobMode})
        EXPECT_EQ(dispatch(effect, op, 65, 1, &rect, 1.0f), 0) << op;
    EXPECT_EQ(rect, nullptr);
}

TEST(ADelayEditTest, StoresThenForwardsToTheEditor) {
    EditorLog log;
    auto* effect = new ADelayEdit(nullptr);
    new RecordingEditor(effect, log);
    AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->flags, 0x11);
    EXPECT_EQ(e->uniqueID, fourCharCode('L', 'm', 't', 'r'));
    e->setParameter(e, 2, 0.25f);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0], "setParameter 2 0.250000 stored 0.250000");
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(log.gone);
}

// An editor that fails half-way through its own construction (out of memory, say).
class FailingEditor : public AEffEditor {
public:
    explicit FailingEditor(AudioEffect* effect) : AEffEditor(effect) { throw std::bad_alloc(); }
};

TEST(ADelayEditTest, AnEditorThatFailsToConstructLeavesNoEditorBehind) {
    auto* effect = new ADelayEdit(nullptr);
    EXPECT_THROW(new FailingEditor(effect), std::bad_alloc);
    EXPECT_EQ(effect->getEditor(), nullptr);
    AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);  // deletes no editor twice
}

std::string f2s(float value, VstInt32 maxLen = 8) {
    TestEffect effect(nullptr);
    char text[64];
    effect.float2string(value, text, maxLen);
    return text;
}

TEST(NumberText, FloatIsEightCharactersTruncated) {
    EXPECT_EQ(f2s(0.0f), "0.000000");
    EXPECT_EQ(f2s(-0.0f), "0.000000");
    EXPECT_EQ(f2s(0.5f), "0.500000");
    EXPECT_EQ(f2s(-0.25f), "-0.25000");
    EXPECT_EQ(f2s(1234.5f), "1234.500");
    EXPECT_EQ(f2s(-1234.5f), "-1234.50");
    EXPECT_EQ(f2s(44100.0f), "44100.00");
    EXPECT_EQ(f2s(0.999999f), "0.999998");  // the float is 0.99999898...: truncated, not rounded
    EXPECT_EQ(f2s(99999992.0f), "9999992.");  // eight integer digits: the top one is cut
    EXPECT_EQ(f2s(12345678.0f), "2345678.");
    EXPECT_EQ(f2s(100000000.0f), "Huge!");
    EXPECT_EQ(f2s(-10000000.0f), "Huge!");
    EXPECT_EQ(f2s(-9999999.0f), "-999999.");
    EXPECT_EQ(f2s(std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(f2s(-std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(f2s(std::nanf("")), "Huge!");
}

TEST(NumberText, CutToMaxLenAndNeverPastIt) {
    EXPECT_EQ(f2s(1234.5f, 4), "1234");
    EXPECT_EQ(f2s(100000000.0f, 3), "Hug");
    EXPECT_EQ(f2s(0.5f, 0), "");
    EXPECT_EQ(f2s(0.5f, -3), "");
    TestEffect effect(nullptr);
    for (float value : {0.0f, -0.25f, 1234.5f, 1e30f, -1e30f, 0.001f, std::nanf("")}) {
        for (VstInt32 maxLen : {0, 1, 5, 8}) {
            SCOPED_TRACE(std::to_string(value) + " maxLen " + std::to_string(maxLen));
            using Routine = void (AudioEffect::*)(float, char*, VstInt32);
            for (Routine routine : {&AudioEffect::float2string, &AudioEffect::dB2string, &AudioEffect::Hz2string,
                                    &AudioEffect::ms2string}) {
                char guarded[32];
                std::memset(guarded, 0x7f, sizeof guarded);
                (effect.*routine)(value, guarded, maxLen);
                const void* end = std::memchr(guarded, 0, sizeof guarded);
                ASSERT_NE(end, nullptr);
                EXPECT_LE(static_cast<const char*>(end) - guarded, maxLen);
                for (size_t i = static_cast<size_t>(maxLen) + 1; i < sizeof guarded; ++i) EXPECT_EQ(guarded[i], 0x7f);
            }
            char guarded[32];
            std::memset(guarded, 0x7f, sizeof guarded);
            effect.int2string(static_cast<VstInt32>(value == value ? std::fmax(std::fmin(value, 2e9f), -2e9f) : 0),
                              guarded, maxLen);
            for (size_t i = static_cast<size_t>(maxLen) + 1; i < sizeof guarded; ++i) EXPECT_EQ(guarded[i], 0x7f);
        }
    }
    effect.float2string(1.0f, nullptr, 8);  // nowhere to write: nothing happens
    effect.int2string(1, nullptr, 8);
    effect.dB2string(1.0f, nullptr, 8);
}

TEST(NumberText, DecibelsIntegersAndSampleConversions) {
    TestEffect effect(nullptr);
    char text[64];
    auto dB = [&](float value, VstInt32 maxLen = 8) {
        effect.dB2string(value, text, maxLen);
        return std::string(text);
    };
    EXPECT_EQ(dB(0.0f), "-oo");
    EXPECT_EQ(dB(-1.0f), "-oo");
    EXPECT_EQ(dB(0.0f, 2), "-o");
    EXPECT_EQ(dB(1.0f), "0.000000");
    EXPECT_EQ(dB(0.5f), "-6.02059");
    EXPECT_EQ(dB(2.0f), "6.020599");
    EXPECT_EQ(dB(0.25f), "-12.0411");
    auto i2s = [&](VstInt32 value, VstInt32 maxLen = 8) {
        effect.int2string(value, text, maxLen);
        return std::string(text);
    };
    EXPECT_EQ(i2s(0), "0");
    EXPECT_EQ(i2s(13230), "13230");
    EXPECT_EQ(i2s(-5), "-5");
    EXPECT_EQ(i2s(99999999), "99999999");
    EXPECT_EQ(i2s(100000000), "Huge!");
    EXPECT_EQ(i2s(13230, 3), "132");
    EXPECT_EQ(i2s(-99999999, 16), "-99999999");
    EXPECT_FALSE(i2s(std::numeric_limits<VstInt32>::min(), 16).empty());  // negated without overflow

    effect.ms2string(44100.0f, text, 8);
    EXPECT_STREQ(text, "1000.000");
    effect.ms2string(13230.0f, text, 8);
    EXPECT_STREQ(text, "300.0000");
    effect.Hz2string(100.0f, text, 8);
    EXPECT_STREQ(text, "441.0000");
    effect.Hz2string(0.0f, text, 8);
    EXPECT_STREQ(text, "0.000000");
    effect.setSampleRate(48000.0f);
    effect.ms2string(48.0f, text, 8);
    EXPECT_STREQ(text, "1.000000");
}

}  // namespace
