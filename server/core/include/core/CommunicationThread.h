#pragma once
// The communication thread: the one worker that talks to the PLCs. Each iteration it
//   1. gathers queued client writes into write blocks and writes them,
//   2. gathers queued device reads into read blocks and reads them,
//   3. applies subscription changes to the PLCs' read blocks,
//   4. picks the PLC and the block whose turn it is and reads the block when it is due,
//   5. handles an error: qualities, a status report, and for a connection-level error closing
//      and opening the connection table again.
// A PLC found unreachable (PlcTransport::meansUnreachable) during steps 1 and 2 is not asked
// again in the same iteration: its remaining requests fail at once with that error and step 4
// takes the error as its own, so that a silent PLC costs each batch of requests one time-out,
// not one per request (docs/polling.md gives the longest wait).
// The iteration can be driven step by step (begin, iterate, end) without starting a thread, with
// a manual tick source, so that tests and benchmarks are deterministic.
//
// Between iterations the thread waits only when nothing is due: until the next read block falls
// due, a record is queued or a stop is asked for, and never longer than 5 ms (a lane: 1 s, see
// below).
//
// When the transport lets its PLCs be polled concurrently, every PLC gets a lane: a communication
// thread of its own over that PLC alone and a connection context of its own, running the same
// iteration. This thread then only waits for the queues to settle and hands each record to the
// lane of its PLC, writes and device reads in one step so that their order holds. An error of one
// PLC (its status report, its reopening) concerns its lane alone. See docs/polling.md.
//
// Locks: queueLock (CoreQueues) guards the queues and request completions; the block lock guards
// the PLCs' read blocks and the tags' block fields against viewers (snapshot); the PlcList's list
// lock is held while a PLC is chosen and selected. The block lock may be taken while queueLock is
// held, never the other way round; the list lock is never held together with either. No lock is
// held while a report goes to the status sink.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/CommSettings.h"
#include "core/CommSnapshot.h"
#include "core/CoreQueues.h"
#include "core/PlcList.h"
#include "core/PlcTransport.h"
#include "core/PollFigures.h"
#include "core/ReadBlock.h"
#include "core/StatusSink.h"
#include "core/TickSource.h"

namespace orva::core {

class CommunicationThread;

// Supervision of redundant PLCs (those with an address B), set by the transport that has it.
class RedundancyHooks {
public:
    virtual ~RedundancyHooks() = default;
    // Takes the place of the plain selection for a redundant PLC: at every scheduling step
    // (fromScheduler) and before its pending writes and device reads. Returns the error code.
    virtual int supervise(CommunicationThread& thread, S7Plc& plc, bool fromScheduler) = 0;
    // After subscription changes were applied (the block lock is held).
    virtual void upkeep(CommunicationThread& thread, S7Plc& plc) = 0;
};

class CommunicationThread {
public:
    // ticks may be null: the system's steady clock is used.
    CommunicationThread(PlcList& plcs, std::shared_ptr<CoreQueues> queues, PlcTransport& transport,
                        StatusSink& sink, CommSettings settings = {}, TickSource* ticks = nullptr);
    ~CommunicationThread();
    CommunicationThread(const CommunicationThread&) = delete;
    CommunicationThread& operator=(const CommunicationThread&) = delete;

    // Starts the thread. With an empty PLC list it reports that and ends at once.
    void start();
    // Signals the thread to stop and waits for it to end (the connection table is closed).
    void stop();
    bool isRunning() const;

    // The thread's work, for a caller that drives it itself (never while the thread runs).
    // begin: false after reporting an empty PLC list; otherwise opens the connection table.
    bool begin();
    void iterate();
    void end();

    // Iterations completed so far; any thread. A count that stops moving means a hung thread.
    // With lanes, the least count of the coordinating loop and every lane: it stops moving
    // when any one of them hangs (an idle lane still goes round once a second).
    std::uint64_t iterations() const noexcept;

    // A consistent copy of PLCs, blocks and covered tags; any thread.
    CommSnapshot snapshot() const;
    // The polling figures of every PLC, in list order; any thread.
    std::vector<PollFigures> figures() const;
    // Whether PLCs are polled by lanes of their own.
    bool pollsConcurrently() const noexcept { return !lanes_.empty(); }

    // For redundancy supervision, on the communication thread.
    void setRedundancyHooks(RedundancyHooks* hooks);
    // Plain selection of a side, making the PLC the selected one.
    int selectSide(S7Plc& plc, uint16_t side);
    // Reads one read block now: values or error qualities, lastRead and visited; the error code.
    int readBlock(ReadBlock& block);
    void registerTag(S7Plc& plc, S7Tag& tag, uint32_t rate);
    void takeOutOfBlock(S7Plc& plc, S7Tag& tag);
    PlcTransport& transport() noexcept { return transport_; }
    TickSource& ticks() noexcept { return *ticks_; }

    // The error of the last scheduling step or read (0 = none), for tests.
    int currentError() const noexcept { return error_; }
    bool mustReopen() const noexcept { return mustReopen_; }

private:
    struct Lane;
    // The records handed to a lane, guarded by the process's queueLock like the queues.
    struct Inbox {
        std::vector<CyclicChange> changes;
        std::deque<TagRequest> reads;
        std::deque<TagRequest> writes;
    };
    // A lane: polls plc over its own connection context; the coordinator fills its inbox.
    CommunicationThread(CommunicationThread& coordinator, S7Plc& plc, std::unique_ptr<PlcTransport> context);

    void run();
    void runLanes();
    // Waits while nothing is due (see the top of this file); true when a stop was asked for.
    bool idle();
    // Ms until the next block of the polled PLCs falls due (0: one is due now), at most the longest
    // idle wait: 5 ms, or a second in a lane.
    uint32_t untilNextDue();
    // Whether a record waits in this thread's queues (hasQueuedWork: queueLock is held).
    bool hasQueuedWork() const;
    bool queuedWork();
    // Coordinator: hands the settled queues' records to the PLCs' lanes.
    void handOver();
    // Completes with failure every request still queued (end of the thread).
    void failQueuedRequests();
    void markProgress();
    PollMeter* meterOf(const S7Plc* plc);
    int openTable();
    // The selection step; a redundant PLC goes to the redundancy hooks.
    int selectPlc(S7Plc& plc, bool fromScheduler);
    // The selection before a PLC's pending writes or device reads; its error code.
    int selectBeforeRequests(S7Plc& plc);
    // The connection-level code with which the PLC failed a request in this iteration, or 0.
    int lostThisIteration(const S7Plc& plc) const;
    // Keeps a code that says the PLC is unreachable for the rest of the iteration; other codes
    // are ignored. The code kept (0 for none).
    int noteLoss(const S7Plc& plc, int code);
    bool waitForStop(uint32_t milliseconds);
    // A wait inside an iteration; true when a stop was asked for meanwhile.
    bool pause(uint32_t milliseconds);
    template <class Queue>
    void settle(const Queue& queue, uint32_t step);

    void runWrites();
    // Writes the block and completes its requests; the error code (the unreachable one when a
    // split block lost the PLC).
    int executeWrite(WriteBlock& block);
    void completeWrites(WriteBlock& block, bool prepared, int code);
    // Places the block's values (reading it first where needed) and writes it; prepared is false
    // when the read-before-write failed and nothing was written. The error code.
    int writeBlockBytes(WriteBlock& block, bool& prepared);
    void runDeviceReads();
    int executeDeviceRead(DeviceReadBlock& block);
    void completeDeviceReads(DeviceReadBlock& block, int code);
    bool applySubscriptionChanges();
    void applyChange(const CyclicChange& change);
    ReadBlock* scheduleAndRead(S7Plc*& plc);
    void handleError(S7Plc* plc, ReadBlock* chosen);
    void report(int code, S7Plc* plc);

    // Reads [start, start + count) in pieces the library carries.
    int readRange(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count, uint8_t* destination);
    int writeRange(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count, const uint8_t* source);

    // A lane owns its one-PLC list and its connection context.
    std::unique_ptr<PlcList> ownList_;
    std::unique_ptr<PlcTransport> ownTransport_;
    CommunicationThread* coordinator_ = nullptr;  // set in a lane
    PlcList& plcs_;
    // The list handed to the transport when the table is opened: the whole list, also in lanes.
    PlcList& table_;
    std::shared_ptr<CoreQueues> queues_;
    PlcTransport& transport_;
    StatusSink& sink_;
    // Where this thread takes its records from: the process's queues, or a lane's inbox.
    Inbox inbox_;
    std::vector<CyclicChange>* changeQueue_;
    std::deque<TagRequest>* readQueue_;
    std::deque<TagRequest>* writeQueue_;
    // The device reads taken together with the writes of this iteration (guarded by queueLock).
    std::deque<TagRequest> takenReads_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    // Set by the coordinator when it handed over subscription changes to any lane: redundant PLCs
    // keep their status blocks after every application, as without lanes.
    std::atomic<bool> upkeepDue_{false};
    // Serialises the lanes' reports (the coordinator's).
    std::mutex reportLock_;
    std::map<const S7Plc*, std::unique_ptr<PollMeter>> meters_;
    const CommSettings settings_;
    std::unique_ptr<TickSource> ownTicks_;
    TickSource* ticks_;
    RedundancyHooks* redundancy_ = nullptr;

    mutable std::recursive_mutex blockLock_;
    // The PLCs in list order, as the list held them at construction (it does not change after
    // loading); viewers use it so that they never wait for the list's lock.
    std::vector<S7Plc*> plcOrder_;

    int error_ = 0;
    bool mustReopen_ = false;
    // PLCs whose connection was lost by a request in this iteration, with the code.
    std::vector<std::pair<const S7Plc*, int>> lostConnections_;
    int lastReportedError_ = 0;
    const S7Plc* lastReportedPlc_ = nullptr;

    std::atomic<std::uint64_t> iterations_{0};
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
};

}  // namespace orva::core
