#pragma once
// What a track being encoded tells its run, and what the run tells it.

#include <atomic>
#include <cstdint>
#include <functional>

namespace vn {

// What a running track tells the run: frames done so far (added as they are encoded), whether it
// should stop, and, when the run is one track at a time on the calling thread, a percentage for
// the status bar.
struct TrackProgress {
    std::atomic<uint64_t>* frames = nullptr;
    std::function<bool()> cancelled;
    std::function<void(int percent)> percent;
    void advance(uint64_t n) const
    {
        if (frames)
            frames->fetch_add(n, std::memory_order_relaxed);
    }
    bool stop() const { return cancelled && cancelled(); }
};

} // namespace vn
