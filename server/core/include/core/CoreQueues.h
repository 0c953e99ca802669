#pragma once
// The hand-over between the toolkit's threads and the communication thread: subscription
// changes and client requests queued by the hooks and the tags, all guarded by one lock.
// One object per server process (tests may make several). The runtime, the communication thread
// and the creator own it; groups, items and tags only refer to it (weakly), because queued records
// count their tags: a tag that owned the queues would keep itself alive through its own records.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "core/S7Tag.h"
#include "opc/SODaSRequest.h"

namespace orva::core {

// A change of what clients subscribe to on one tag.
struct CyclicChange {
    uint32_t activate = 0;         // 1: an item on the tag became active; 0: one became inactive
    uint32_t rateChanged = 0;      // 1: the group of an item on the tag changed its update rate
    uint32_t updateRate = 0;       // ms; 0 on deactivation
    opc::SOCmnPointer<S7Tag> tag;  // counted while queued
};

// A client request on a tag, counted while queued.
struct TagRequest {
    opc::SOCmnPointer<opc::SODaSRequest> request;
    opc::SOCmnPointer<S7Tag> tag;
};

struct CoreQueues {
    // Guards the three queues, every tag's clientItems and the completion of queued requests.
    std::mutex queueLock;
    std::vector<CyclicChange> cyclicChangeQueue;
    std::deque<TagRequest> readRequestQueue;
    std::deque<TagRequest> writeRequestQueue;
    // Set from the command line ("ctt"): cache-type writes are confirmed before they are written.
    std::atomic<bool> cttMode{false};
    // Notified (after the lock is released) whenever a record is queued, so that an idle
    // communication thread starts on it at once; waited on with queueLock.
    std::condition_variable workQueued;

    // Wakes whoever waits for queued work.
    void notifyWork() { workQueued.notify_all(); }
};

}  // namespace orva::core
