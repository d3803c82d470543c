// The editor's edits on their way to the host: gesture begins and ends and new values, written
// on the UI thread as the user moves a control, taken as CLAP output events by process() (audio
// thread) or by a params flush (the main thread while the host is not processing; never at the
// same time as process()). One writer, one reader, no lock, fixed storage: the writer never
// blocks and the reader never allocates. A full queue refuses the edit; the caller remembers that
// edits were lost and the reader then sends the values and gestures as they stand.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace lumetra {

struct ParamEdit {
    enum Kind : uint8_t { kBegin, kValue, kEnd };
    Kind kind = kValue;
    uint32_t param = 0;  // the effect's parameter number, also the CLAP param id
    float value = 0.0f;  // kValue only
};

class EditQueue {
public:
    static constexpr uint32_t kCapacity = 1024;  // a long drag between two host flushes fits

    // UI thread. False (nothing stored) when the queue is full.
    bool push(const ParamEdit& edit) {
        const uint32_t tail = written.load(std::memory_order_relaxed);
        if (tail - taken.load(std::memory_order_acquire) >= kCapacity) return false;
        edits[tail % kCapacity] = edit;
        written.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Reader: the oldest edit, or null when none waits; it stays until pop().
    const ParamEdit* front() const {
        const uint32_t head = taken.load(std::memory_order_relaxed);
        if (head == written.load(std::memory_order_acquire)) return nullptr;
        return &edits[head % kCapacity];
    }
    void pop() { taken.store(taken.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    std::array<ParamEdit, kCapacity> edits{};
    std::atomic<uint32_t> written{0};  // counts wrap; their difference is the fill
    std::atomic<uint32_t> taken{0};
};

}  // namespace lumetra
