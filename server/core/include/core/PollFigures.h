#pragma once
// How well a PLC's polling keeps its promise, for operators: reads per second, the PLC's answer
// times, the interval its fastest read block actually achieves and the errors so far. The figures
// of the last complete window of about a second; any thread may read them.

#include <cstdint>
#include <mutex>
#include <string>

namespace orva::core {

struct PollFigures {
    std::string plc;            // the PLC's configured name
    double readsPerSecond = 0;  // cyclic block reads (each may take several calls)
    double meanAnswerMs = 0;    // time one block read took, mean and maximum
    double maxAnswerMs = 0;
    double achievedIntervalMs = 0;  // mean time between reads of the fastest blocks; 0: none
    uint32_t fastestRateMs = 0;     // the update rate those blocks ask for
    uint64_t errorCount = 0;        // failed polling turns since the start
};

// Collects one PLC's samples on its polling thread and publishes a window's figures.
class PollMeter {
public:
    explicit PollMeter(std::string plc = {}) { published_.plc = std::move(plc); }

    // A block read that took answerMs; sinceLastMs since the block's previous read, rateMs its
    // update rate. nowMs is the polling tick.
    void recordRead(uint32_t nowMs, double answerMs, uint32_t sinceLastMs, uint32_t rateMs);
    void recordError();
    // Closes the window when it has lasted a second (called on the polling thread).
    void tick(uint32_t nowMs);
    PollFigures figures() const;

private:
    static constexpr uint32_t WINDOW_MS = 1000;
    void tickLocked(uint32_t nowMs);
    mutable std::mutex lock_;
    PollFigures published_;
    bool started_ = false;
    uint32_t windowStart_ = 0;
    uint64_t reads_ = 0;
    double answerSum_ = 0;
    double answerMax_ = 0;
    uint32_t fastestRate_ = 0;
    uint64_t intervalSum_ = 0;
    uint64_t intervalCount_ = 0;
};

}  // namespace orva::core
