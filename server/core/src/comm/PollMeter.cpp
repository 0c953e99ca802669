#include "core/PollFigures.h"

#include <algorithm>

namespace orva::core {

void PollMeter::recordRead(uint32_t nowMs, double answerMs, uint32_t sinceLastMs, uint32_t rateMs)
{
    std::lock_guard lock(lock_);
    tickLocked(nowMs);
    ++reads_;
    answerSum_ += answerMs;
    answerMax_ = std::max(answerMax_, answerMs);
    if (rateMs == 0) return;
    // Only the fastest blocks of the window count for the achieved interval.
    if (fastestRate_ == 0 || rateMs < fastestRate_) {
        fastestRate_ = rateMs;
        intervalSum_ = 0;
        intervalCount_ = 0;
    }
    if (rateMs == fastestRate_) {
        intervalSum_ += sinceLastMs;
        ++intervalCount_;
    }
}

void PollMeter::recordError()
{
    std::lock_guard lock(lock_);
    ++published_.errorCount;
}

void PollMeter::tick(uint32_t nowMs)
{
    std::lock_guard lock(lock_);
    tickLocked(nowMs);
}

void PollMeter::tickLocked(uint32_t nowMs)
{
    if (!started_) {
        started_ = true;
        windowStart_ = nowMs;
        return;
    }
    const uint32_t elapsed = nowMs - windowStart_;
    if (elapsed < WINDOW_MS) return;
    published_.readsPerSecond = static_cast<double>(reads_) * 1000.0 / elapsed;
    published_.meanAnswerMs = reads_ != 0 ? answerSum_ / static_cast<double>(reads_) : 0;
    published_.maxAnswerMs = answerMax_;
    published_.fastestRateMs = fastestRate_;
    published_.achievedIntervalMs =
        intervalCount_ != 0 ? static_cast<double>(intervalSum_) / static_cast<double>(intervalCount_) : 0;
    windowStart_ = nowMs;
    reads_ = 0;
    answerSum_ = answerMax_ = 0;
    fastestRate_ = 0;
    intervalSum_ = intervalCount_ = 0;
}

PollFigures PollMeter::figures() const
{
    std::lock_guard lock(lock_);
    return published_;
}

}  // namespace orva::core
