// An ADelay that records what parameter 1 delivers, and helpers to run blocks through it.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/ADelay.h"

namespace lumetra::test {

class RecordingEffect : public ADelay {
public:
    RecordingEffect() : ADelay(nullptr) {}

    void setParameter(VstInt32 index, float value) override {
        calls.push_back({index, value});
        ADelay::setParameter(index, value);
    }

    // The packed meter values of the calls since the last clear.
    std::vector<float> meters() const {
        std::vector<float> values;
        for (const Call& call : calls)
            if (call.index == kFeedBack) values.push_back(call.value);
        return values;
    }

    struct Call {
        VstInt32 index;
        float value;
    };
    std::vector<Call> calls;
};

// Stereo blocks: left and right input, outputs of the same length.
struct StereoBlock {
    explicit StereoBlock(std::vector<float> leftIn, std::vector<float> rightIn)
        : left(std::move(leftIn)), right(std::move(rightIn)), outLeft(left.size()), outRight(right.size()) {}
    explicit StereoBlock(const std::vector<float>& mono) : StereoBlock(mono, mono) {}

    void run(ADelay& effect) {
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outLeft.data(), outRight.data()};
        effect.processReplacing(in, out, static_cast<VstInt32>(left.size()));
    }

    std::vector<float> left, right, outLeft, outRight;
};

}  // namespace lumetra::test
