#include "core/CommunicationThread.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/ReadBlocks.h"
#include "core/ValueConversion.h"
#include "opc/SODaSGroup.h"
#include "opc/SODaSItem.h"
#include "opc/SODaSRequest.h"

namespace orva::core {
namespace {

// The longest wait between iterations.
constexpr uint32_t ITERATION_WAIT_MS = 5;
// A lane hears of records and of a stop at once; between them it waits for its next block to
// fall due, but at least once a second it looks round (figures, progress).
constexpr uint32_t LANE_LONGEST_WAIT_MS = 1000;

void failRequest(opc::SODaSRequest& request)
{
    request.complete(opc::E_FAIL, true, opc::OPC_QUALITY_BAD, false, true);
}

void setQuality(S7Tag& tag, uint16_t quality)
{
    if (auto cache = tag.getCache()) cache->setQuality(quality);
}

void setBlockQuality(ReadBlock& block, uint16_t quality)
{
    for (auto& [key, tag] : block.tags)
        setQuality(*tag, quality);
}

bool holdsBits(const WriteBlock& block)
{
    for (const auto& r : block.requests) {
        const VarType type = r.tag->getNativeDatatype();
        if (type == VT_BOOL || type == (VT_ARRAY | VT_BOOL)) return true;
    }
    return false;
}

// Whether the requests' values define every byte of the block.
bool coversBlock(const WriteBlock& block)
{
    std::vector<uint8_t> covered(block.length, 0);
    for (const auto& r : block.requests) {
        const WritePlacement placement = placeWrite(*r.tag, *r.request);
        const uint32_t offset = placement.target.dataByte - block.startByte;
        for (uint32_t i = offset; i < offset + placement.extent && i < covered.size(); ++i)
            covered[i] = 1;
    }
    return std::all_of(covered.begin(), covered.end(), [](uint8_t c) { return c != 0; });
}

// The shortest update rate that the tag's active items ask for now; fallback when none does.
uint32_t shortestActiveRate(S7Tag& tag, uint32_t fallback)
{
    uint32_t best = 0;
    for (const auto& item : tag.clientItems.snapshot()) {
        auto group = item->getParentGroup();
        const uint32_t rate = group ? group->getUpdateRate() : 0;
        if (rate != 0 && (best == 0 || rate < best)) best = rate;
    }
    return best != 0 ? best : fallback;
}

SnapshotValue snapshotValue(const opc::SOCmnVariant& v)
{
    switch (v.getType()) {
        case VT_BOOL:
            return v.toInt64() != 0;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
            return v.toInt64();
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
            return static_cast<std::uint64_t>(v.toInt64());
        case VT_R4:
        case VT_R8:
            return v.toDouble();
        case VT_BSTR:
            return v.getString();
        default:
            return std::monostate{};
    }
}

}  // namespace

struct CommunicationThread::Lane {
    std::unique_ptr<CommunicationThread> thread;
};

CommunicationThread::CommunicationThread(PlcList& plcs, std::shared_ptr<CoreQueues> queues,
                                         PlcTransport& transport, StatusSink& sink, CommSettings settings,
                                         TickSource* ticks)
    : plcs_(plcs),
      table_(plcs),
      queues_(std::move(queues)),
      transport_(transport),
      sink_(sink),
      changeQueue_(&queues_->cyclicChangeQueue),
      readQueue_(&queues_->readRequestQueue),
      writeQueue_(&queues_->writeRequestQueue),
      settings_(settings),
      ownTicks_(ticks ? nullptr : std::make_unique<SteadyTickSource>()),
      ticks_(ticks ? ticks : ownTicks_.get())
{
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        S7Plc* plc = plcs_.at(i);
        plcOrder_.push_back(plc);
        meters_.emplace(plc, std::make_unique<PollMeter>(plc->name));
    }
    if (!transport_.pollsConcurrently()) return;
    std::vector<std::unique_ptr<Lane>> lanes;
    for (S7Plc* plc : plcOrder_) {
        auto context = transport_.connectionFor(*plc);
        // A library that cannot give every PLC a context of its own polls them in turn.
        if (!context) return;
        auto lane = std::make_unique<Lane>();
        lane->thread.reset(new CommunicationThread(*this, *plc, std::move(context)));
        lanes.push_back(std::move(lane));
    }
    lanes_ = std::move(lanes);
}

CommunicationThread::CommunicationThread(CommunicationThread& coordinator, S7Plc& plc,
                                         std::unique_ptr<PlcTransport> context)
    : ownList_(std::make_unique<PlcList>()),
      ownTransport_(std::move(context)),
      coordinator_(&coordinator),
      plcs_(*ownList_),
      table_(coordinator.plcs_),
      queues_(coordinator.queues_),
      transport_(*ownTransport_),
      sink_(coordinator.sink_),
      changeQueue_(&inbox_.changes),
      readQueue_(&inbox_.reads),
      writeQueue_(&inbox_.writes),
      settings_(coordinator.settings_),
      ticks_(coordinator.ticks_)
{
    ownList_->add(&plc);
    plcOrder_.push_back(&plc);
    meters_.emplace(&plc, std::make_unique<PollMeter>(plc.name));
    // A lane with a tick source of its own would sleep on it; the system clock is waited on.
    if (coordinator.ownTicks_) ownTicks_ = std::make_unique<SteadyTickSource>();
}

CommunicationThread::~CommunicationThread()
{
    stop();
    lanes_.clear();
    // The PLC belongs to the coordinator's list: the lane's list lets it go untouched.
    if (ownList_) ownList_->list().removeAll();
}

void CommunicationThread::start()
{
    if (thread_.joinable()) return;
    stopRequested_ = false;
    thread_ = std::thread([this] { run(); });
}

void CommunicationThread::stop()
{
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopSignal_.notify_all();
    {
        // An idle wait on the queues sees the stop too.
        std::lock_guard lock(queues_->queueLock);
    }
    queues_->notifyWork();
    // Every lane stops at once; each ends after the PLC access it is in.
    for (auto& lane : lanes_) {
        {
            std::lock_guard lock(lane->thread->stopMutex_);
            lane->thread->stopRequested_ = true;
        }
        lane->thread->stopSignal_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    for (auto& lane : lanes_)
        lane->thread->stop();
}

std::uint64_t CommunicationThread::iterations() const noexcept
{
    std::uint64_t least = iterations_.load(std::memory_order_relaxed);
    for (const auto& lane : lanes_)
        least = std::min(least, lane->thread->iterations());
    return least;
}

void CommunicationThread::setRedundancyHooks(RedundancyHooks* hooks)
{
    redundancy_ = hooks;
    for (auto& lane : lanes_)
        lane->thread->setRedundancyHooks(hooks);
}

bool CommunicationThread::isRunning() const
{
    return thread_.joinable();
}

bool CommunicationThread::waitForStop(uint32_t milliseconds)
{
    std::unique_lock lock(stopMutex_);
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [this] { return stopRequested_.load(); });
}

bool CommunicationThread::pause(uint32_t milliseconds)
{
    // On the system's clock a stop ends the wait at once; a tick source of a caller is slept on.
    if (ownTicks_) return waitForStop(milliseconds);
    ticks_->sleep(milliseconds);
    return false;
}

void CommunicationThread::run()
{
    if (!lanes_.empty()) {
        runLanes();
        return;
    }
    if (!begin()) return;
    if (!waitForStop(ITERATION_WAIT_MS)) {
        do {
            iterate();
        } while (!idle());
    }
    end();
}

void CommunicationThread::runLanes()
{
    // Numbers the PLCs; each lane opens its own context on its own thread.
    openTable();
    for (auto& lane : lanes_)
        lane->thread->start();
    while (!stopRequested_) {
        handOver();
        markProgress();
        std::unique_lock lock(queues_->queueLock);
        queues_->workQueued.wait_for(lock, std::chrono::milliseconds(ITERATION_WAIT_MS),
                                     [this] { return stopRequested_ || hasQueuedWork(); });
    }
    for (auto& lane : lanes_)
        lane->thread->stop();
    // Each lane has closed its own context.
    failQueuedRequests();
}

bool CommunicationThread::idle()
{
    // After an error the next turn comes after the usual pause, so that a failing PLC is not
    // hammered; otherwise only when nothing is due.
    const uint32_t wait = error_ != 0 || mustReopen_ ? ITERATION_WAIT_MS : untilNextDue();
    if (wait != 0) {
        std::unique_lock lock(queues_->queueLock);
        queues_->workQueued.wait_for(lock, std::chrono::milliseconds(wait),
                                     [this] { return stopRequested_ || hasQueuedWork(); });
    }
    return stopRequested_;
}

uint32_t CommunicationThread::untilNextDue()
{
    const uint32_t now = ticks_->now();
    // Waking every few ms in each of many lanes would cost more than the polling itself.
    uint32_t next = coordinator_ != nullptr ? LANE_LONGEST_WAIT_MS : ITERATION_WAIT_MS;
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        for (const auto& block : plcs_.at(i)->blocks) {
            if (block->updateRate == 0) continue;
            const uint32_t age = now - block->lastRead;
            if (age > block->updateRate) return 0;
            next = std::min(next, block->updateRate - age + 1);
        }
    }
    return next;
}

bool CommunicationThread::hasQueuedWork() const
{
    // queueLock is held.
    return !changeQueue_->empty() || !readQueue_->empty() || !writeQueue_->empty() || upkeepDue_.load();
}

void CommunicationThread::markProgress()
{
    iterations_.fetch_add(1, std::memory_order_relaxed);
    for (auto& [plc, meter] : meters_)
        meter->tick(ticks_->now());
}

bool CommunicationThread::begin()
{
    if (plcs_.size() == 0) {
        sink_.reportNoPlc();
        return false;
    }
    const int result = openTable();
    if (result != 0) {
        mustReopen_ = true;
        error_ = result;
    }
    for (auto& lane : lanes_)
        lane->thread->begin();
    return true;
}

void CommunicationThread::end()
{
    for (auto& lane : lanes_)
        lane->thread->end();
    transport_.close();
    failQueuedRequests();
}

void CommunicationThread::failQueuedRequests()
{
    // Nobody will carry them out any more: the clients hear so now rather than never.
    std::lock_guard lock(queues_->queueLock);
    auto fail = [](std::deque<TagRequest>& queue) {
        for (auto& r : queue)
            r.request->complete(opc::E_FAIL, true, opc::OPC_QUALITY_BAD, false, true);
        queue.clear();
    };
    fail(*writeQueue_);
    fail(*readQueue_);
    fail(takenReads_);
    for (auto& lane : lanes_) {
        fail(lane->thread->inbox_.writes);
        fail(lane->thread->inbox_.reads);
    }
}

int CommunicationThread::openTable()
{
    {
        plcs_.list().lock();
        // A lane keeps the numbers the whole list got from its coordinator.
        if (coordinator_ == nullptr) {
            for (std::size_t i = 0; i < plcs_.size(); ++i)
                plcs_.at(i)->plcNumber = static_cast<uint16_t>(i + 1);
        }
        // The next advance continues from the old position.
        plcs_.current = plcs_.at(0);
        plcs_.selectedPlc = 0;
        plcs_.list().unlock();
    }
    // The coordinator of lanes opens nothing: each lane opens its own context.
    if (!lanes_.empty()) return 0;
    return transport_.open(table_);
}

// ---- lanes ----

bool CommunicationThread::queuedWork()
{
    std::lock_guard lock(queues_->queueLock);
    return hasQueuedWork();
}

void CommunicationThread::handOver()
{
    if (!queuedWork()) return;
    settle(queues_->writeRequestQueue, REQUEST_SETTLING_STEP_MS);
    settle(queues_->readRequestQueue, REQUEST_SETTLING_STEP_MS);
    settle(queues_->cyclicChangeQueue, settings_.settlingStepMs);
    bool handed = false;
    {
        std::lock_guard lock(queues_->queueLock);
        auto laneOf = [this](const S7Tag& tag) -> CommunicationThread* {
            for (auto& lane : lanes_)
                if (lane->thread->plcOrder_.front() == tag.plc.get()) return lane->thread.get();
            return nullptr;
        };
        // Writes and device reads move together, so that a read issued after a write never
        // overtakes it; each lane keeps the queue order.
        for (auto& r : queues_->writeRequestQueue) {
            if (auto* lane = laneOf(*r.tag)) {
                lane->inbox_.writes.push_back(std::move(r));
            } else if (r.request->isStarted()) {
                failRequest(*r.request);
            }
        }
        for (auto& r : queues_->readRequestQueue) {
            if (auto* lane = laneOf(*r.tag))
                lane->inbox_.reads.push_back(std::move(r));
            else
                failRequest(*r.request);
        }
        handed = !queues_->writeRequestQueue.empty() || !queues_->readRequestQueue.empty();
        const bool changes = !queues_->cyclicChangeQueue.empty();
        for (auto& change : queues_->cyclicChangeQueue) {
            if (auto* lane = laneOf(*change.tag)) lane->inbox_.changes.push_back(std::move(change));
        }
        if (changes) {
            for (auto& lane : lanes_)
                lane->thread->upkeepDue_ = true;
        }
        handed = handed || changes;
        queues_->writeRequestQueue.clear();
        queues_->readRequestQueue.clear();
        queues_->cyclicChangeQueue.clear();
    }
    if (handed) queues_->notifyWork();
}

int CommunicationThread::selectSide(S7Plc& plc, uint16_t side)
{
    const int result = transport_.selectPlc(plc.plcNumber, side);
    plcs_.selectedPlc = plc.plcNumber;
    return result;
}

void CommunicationThread::selectBeforeRequests(S7Plc& plc)
{
    // A redundant pair is supervised before every batch of requests: the CPU in use may have
    // stopped since the last scheduling step, and the requests belong to its partner then.
    const bool redundant = redundancy_ != nullptr && plc.isRedundant();
    if (redundant || plc.plcNumber != plcs_.selectedPlc) selectPlc(plc, false);
}

int CommunicationThread::selectPlc(S7Plc& plc, bool fromScheduler)
{
    if (redundancy_ != nullptr && plc.isRedundant()) return redundancy_->supervise(*this, plc, fromScheduler);
    // A PLC with nothing to poll is not bothered by the scheduler.
    if (fromScheduler && plc.blocks.empty()) return 0;
    return selectSide(plc, 0);
}

template <class Queue>
void CommunicationThread::settle(const Queue& queue, uint32_t step)
{
    // A lane's records were settled by its coordinator before they were handed over.
    if (coordinator_ != nullptr) return;
    auto size = [&] {
        std::lock_guard lock(queues_->queueLock);
        return queue.size();
    };
    std::size_t before = size();
    if (before == 0) return;
    for (uint32_t i = 0; i < MAX_SETTLING_STEPS; ++i) {
        if (pause(step)) return;
        const std::size_t after = size();
        if (after == before) return;
        before = after;
    }
}

int CommunicationThread::readRange(uint16_t dataBlock, uint16_t start, uint16_t count, uint8_t* destination)
{
    const uint32_t piece = std::min<uint32_t>(transport_.maxReadCount(), MAX_READ_BYTES);
    for (uint32_t done = 0; done < count;) {
        const auto n = static_cast<uint16_t>(std::min<uint32_t>(piece, count - done));
        if (const int code =
                transport_.readBytes(dataBlock, n, static_cast<uint16_t>(start + done), destination + done))
            return code;
        done += n;
    }
    return 0;
}

int CommunicationThread::writeRange(uint16_t dataBlock, uint16_t start, uint16_t count, const uint8_t* source)
{
    const uint32_t piece = std::min<uint32_t>(transport_.maxWriteCount(), MAX_WRITE_BYTES);
    for (uint32_t done = 0; done < count;) {
        const auto n = static_cast<uint16_t>(std::min<uint32_t>(piece, count - done));
        if (const int code =
                transport_.writeBytes(dataBlock, n, static_cast<uint16_t>(start + done), source + done))
            return code;
        done += n;
    }
    return 0;
}

void CommunicationThread::iterate()
{
    markProgress();
    if (!lanes_.empty()) {
        handOver();
        for (auto& lane : lanes_)
            lane->thread->iterate();
        return;
    }
    // Most iterations find nothing queued; they go straight to polling.
    if (queuedWork()) {
        runWrites();
        runDeviceReads();
        applySubscriptionChanges();
    }
    S7Plc* plc = nullptr;
    ReadBlock* chosen = scheduleAndRead(plc);
    handleError(plc, chosen);
}

// ---- writes ----

void CommunicationThread::runWrites()
{
    settle(*writeQueue_, REQUEST_SETTLING_STEP_MS);
    settle(*readQueue_, REQUEST_SETTLING_STEP_MS);
    {
        std::lock_guard lock(queues_->queueLock);
        // The device reads are taken in the same moment as the writes, and carried out after
        // them: a read issued after a write sees the written value, and one issued later waits
        // for the next iteration, after any write issued before it.
        takenReads_ = std::exchange(*readQueue_, {});
        auto& queue = *writeQueue_;
        for (auto& request : queue) {
            S7Plc* plc = request.tag->plc.get();
            opc::SOCmnPointer<opc::SODaSRequest> keep = request.request;
            // A write that covers no byte (an empty string or array, a value of another type)
            // cannot be carried out; it fails at once rather than waiting for ever.
            if (plc == nullptr || !groupWrite(*plc, std::move(request))) {
                if (keep->isStarted()) failRequest(*keep);
            }
        }
        queue.clear();
    }
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        S7Plc& plc = *plcs_.at(i);
        if (plc.pendingWrites.empty()) continue;
        selectBeforeRequests(plc);
        for (auto& block : plc.pendingWrites)
            executeWrite(*block);
        plc.pendingWrites.clear();
    }
}

int CommunicationThread::writeBlockBytes(WriteBlock& block, bool& prepared)
{
    const uint16_t start = block.startByte, length = block.length;
    std::vector<uint8_t> scratch(length, 0);
    int readCode = 0;
    bool readFirst = false;
    {
        std::lock_guard lock(queues_->queueLock);
        // Bits share their byte with others, and a byte no request defines must keep its
        // value: such blocks are read from the PLC first.
        readFirst = holdsBits(block) || !coversBlock(block);
    }
    // The PLC is read without queueLock, so that clients and other PLCs' workers never wait
    // for a slow PLC.
    if (readFirst) readCode = readRange(block.dataBlock, start, length, scratch.data());
    {
        std::lock_guard lock(queues_->queueLock);
        if (readCode == 0) {
            for (auto& r : block.requests) {
                // Each value lands on exactly the bytes it replaces, never beyond them.
                const WritePlacement placement = placeWrite(*r.tag, *r.request);
                const std::size_t offset = placement.target.dataByte - start;
                if (offset + placement.extent <= scratch.size())
                    valueToBytes(placement.target.layout, r.request->getWriteValue(),
                                 std::span(scratch).subspan(offset, placement.extent));
            }
        }
    }
    prepared = readCode == 0;
    if (!prepared) return readCode;
    std::copy(scratch.begin(), scratch.end(), block.buffer.begin());
    return writeRange(block.dataBlock, start, length, block.buffer.data());
}

void CommunicationThread::executeWrite(WriteBlock& block)
{
    bool prepared = false;
    const int code = writeBlockBytes(block, prepared);
    // A PLC that refuses a block of several requests may refuse only one of them (an address
    // past the data block's end): each is then written on its own, so that every request gets
    // its own outcome. A lost connection fails them all alike.
    if (code != 0 && block.requests.size() > 1 && !transport_.isConnectionLevel(code)) {
        for (auto& r : block.requests) {
            opc::SOCmnPointer<opc::SODaSRequest> keep = r.request;
            if (auto single = singleWriteBlock(std::move(r)))
                executeWrite(*single);
            else if (keep->isStarted())
                failRequest(*keep);
        }
        block.requests.clear();
        return;
    }
    std::lock_guard lock(queues_->queueLock);
    for (auto& r : block.requests) {
        if (!r.request->isStarted()) continue;
        if (!prepared)
            r.request->complete(opc::E_FAIL, true, opc::OPC_QUALITY_BAD, false, true);
        else if (code != 0)
            r.request->complete(opc::E_FAIL, true, qualityFromError(code), false, true);
        else
            r.request->complete(opc::S_OK, false, opc::OPC_QUALITY_UNCERTAIN, false, true);
    }
    block.requests.clear();
}

// ---- device reads ----

void CommunicationThread::runDeviceReads()
{
    {
        std::lock_guard lock(queues_->queueLock);
        auto& queue = takenReads_;
        for (auto& request : queue) {
            S7Plc* plc = request.tag->plc.get();
            opc::SOCmnPointer<opc::SODaSRequest> keep = request.request;
            // The server's own redundancy state has no place in the PLC: its cache is the value.
            if (plc != nullptr && plc->serverStateTag.get() == request.tag.get()) {
                keep->complete(opc::S_OK, false, opc::OPC_QUALITY_GOOD, false, true);
                continue;
            }
            // A tag of a type that is never read cannot be read on request either.
            if (plc == nullptr || !groupDeviceRead(*plc, std::move(request), settings_.gap))
                failRequest(*keep);
        }
        queue.clear();
    }
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        S7Plc& plc = *plcs_.at(i);
        if (plc.pendingReads.empty()) continue;
        selectBeforeRequests(plc);
        for (auto& block : plc.pendingReads)
            executeDeviceRead(*block);
        plc.pendingReads.clear();
    }
}

void CommunicationThread::executeDeviceRead(DeviceReadBlock& block)
{
    const int code = readRange(block.dataBlock, block.startByte, block.length, block.buffer.data());
    // As for writes: one tag's bad address must not fail the reads grouped with it.
    if (code != 0 && block.requests.size() > 1 && !transport_.isConnectionLevel(code)) {
        for (auto& r : block.requests) {
            opc::SOCmnPointer<opc::SODaSRequest> keep = r.request;
            if (auto single = singleDeviceReadBlock(std::move(r)))
                executeDeviceRead(*single);
            else
                failRequest(*keep);
        }
        block.requests.clear();
        return;
    }
    std::lock_guard lock(queues_->queueLock);
    for (auto& r : block.requests) {
        S7Tag& tag = *r.tag;
        if (code == 0) {
            const std::size_t offset = tag.dataByte - block.startByte;
            const std::size_t length = tagByteLength(tag);
            if (offset + length <= block.length)
                bytesToCache(tag, std::span(block.buffer).subspan(offset, length));
        } else {
            setQuality(tag, qualityFromError(code));
        }
        // Either way the client reads the cache, with the quality it has now.
        r.request->complete(opc::S_OK, false, opc::OPC_QUALITY_GOOD, false, true);
    }
    block.requests.clear();
}

// ---- subscription changes ----

bool CommunicationThread::applySubscriptionChanges()
{
    settle(*changeQueue_, settings_.settlingStepMs);
    std::lock_guard queueLock(queues_->queueLock);
    std::lock_guard blocks(blockLock_);
    auto changes = std::exchange(*changeQueue_, {});
    // A lane's redundant PLC keeps its status block after changes of any PLC, as without lanes.
    const bool applied = !changes.empty() || upkeepDue_.exchange(false);
    if (!changes.empty()) {
        // Blocks grow from low addresses upwards; records of one tag keep their order.
        std::stable_sort(changes.begin(), changes.end(), [](const CyclicChange& a, const CyclicChange& b) {
            if (a.tag->dataBlock != b.tag->dataBlock) return a.tag->dataBlock < b.tag->dataBlock;
            return a.tag->dataByte < b.tag->dataByte;
        });
        for (const auto& change : changes)
            applyChange(change);
    }
    for (std::size_t i = 0; i < plcs_.size(); ++i) {
        S7Plc& plc = *plcs_.at(i);
        if (!plc.shrinkSet.empty()) shrinkBlocks(plc);
        if (applied && redundancy_ != nullptr && plc.isRedundant()) redundancy_->upkeep(*this, plc);
    }
    return applied;
}

void CommunicationThread::applyChange(const CyclicChange& change)
{
    S7Tag& tag = *change.tag;
    if (!tag.plc) return;
    S7Plc& plc = *tag.plc;
    // The server's own redundancy state is never read from the PLC.
    if (plc.serverStateTag.get() == &tag) return;
    const uint32_t now = ticks_->now();

    if (change.rateChanged != 0) {
        // Only tags that a client polls follow the rate; the shortest rate of its active
        // items wins, as on activation.
        if (tag.clientItems.isEmpty()) return;
        if (tag.inBlock == 1) core::takeOutOfBlock(plc, tag);
        tag.block = nullptr;
        core::registerTag(plc, tag, shortestActiveRate(tag, change.updateRate), settings_.gap, now);
        return;
    }
    if (change.activate != 0) {
        if (tag.inBlock != 1) {
            core::registerTag(plc, tag, change.updateRate, settings_.gap, now);
            // A PLC that cannot be reached now gives a new client its error at once, never a
            // value of an earlier connection labelled Uncertain.
            if (lastReportedPlc_ == &plc && lastReportedError_ != 0 &&
                transport_.isConnectionLevel(lastReportedError_))
                setQuality(tag, qualityFromError(lastReportedError_));
        } else if (tag.block != nullptr && change.updateRate < tag.block->updateRate) {
            core::takeOutOfBlock(plc, tag);
            core::registerTag(plc, tag, change.updateRate, settings_.gap, now);
        }
        return;
    }
    if (tag.inBlock == 1 && tag.clientItems.isEmpty()) {
        core::takeOutOfBlock(plc, tag);
        setQuality(tag, opc::OPC_QUALITY_UNCERTAIN);
    }
}

void CommunicationThread::registerTag(S7Plc& plc, S7Tag& tag, uint32_t rate)
{
    std::lock_guard blocks(blockLock_);
    core::registerTag(plc, tag, rate, settings_.gap, ticks_->now());
}

void CommunicationThread::takeOutOfBlock(S7Plc& plc, S7Tag& tag)
{
    std::lock_guard blocks(blockLock_);
    core::takeOutOfBlock(plc, tag);
}

// ---- polling ----

PollMeter* CommunicationThread::meterOf(const S7Plc* plc)
{
    const auto found = meters_.find(plc);
    return found != meters_.end() ? found->second.get() : nullptr;
}

int CommunicationThread::readBlock(ReadBlock& block)
{
    // The block's cadence counts from the moment its read was sent, so that a PLC's answer time
    // does not stretch every interval.
    const uint32_t sent = ticks_->now();
    const auto begun = std::chrono::steady_clock::now();
    const int code = readRange(block.dataBlock, block.startByte, block.length, block.buffer.data());
    const std::chrono::duration<double, std::milli> answer = std::chrono::steady_clock::now() - begun;
    if (!block.tags.empty()) {
        const uint32_t now = ticks_->now();
        if (PollMeter* meter = meterOf(block.tags.begin()->second->plc.get()))
            meter->recordRead(now, answer.count(), sent - block.lastRead, block.updateRate);
    }
    for (auto& [key, tag] : block.tags) {
        if (code != 0) {
            setQuality(*tag, qualityFromError(code));
            continue;
        }
        const std::size_t offset = tag->dataByte - block.startByte;
        const std::size_t length = tagByteLength(*tag);
        if (tag->dataByte >= block.startByte && offset + length <= block.length)
            bytesToCache(*tag, std::span<const uint8_t>(block.buffer).subspan(offset, length));
    }
    block.lastRead = sent;
    block.visited = 1;
    return code;
}

ReadBlock* CommunicationThread::scheduleAndRead(S7Plc*& plcOut)
{
    S7Plc* current = nullptr;
    {
        plcs_.list().lock();
        if (plcs_.current == nullptr) plcs_.current = plcs_.at(0);
        current = plcs_.current;
        const bool leave = transport_.leavesPlc(error_);
        if (!leave) error_ = 0;
        const bool roundDone = std::all_of(current->blocks.begin(), current->blocks.end(),
                                           [](const auto& b) { return b->visited == 1; });
        if (roundDone || leave) {
            for (auto& b : current->blocks)
                b->visited = 0;
            plcs_.currentIndex = plcs_.currentIndex + 1 >= plcs_.size() ? 0 : plcs_.currentIndex + 1;
            current = plcs_.current = plcs_.at(plcs_.currentIndex);
        }
        if (current->plcNumber != plcs_.selectedPlc || current->isRedundant())
            error_ = selectPlc(*current, true);
        plcs_.list().unlock();
    }
    plcOut = current;
    if (current->blocks.empty()) return nullptr;
    current->nextBlock =
        current->nextBlock + 1 >= static_cast<int32_t>(current->blocks.size()) ? 0 : current->nextBlock + 1;
    ReadBlock& candidate = *current->blocks[static_cast<std::size_t>(current->nextBlock)];
    const uint32_t age = ticks_->now() - candidate.lastRead;
    if (error_ == 0 && candidate.updateRate != 0 && age > candidate.updateRate)
        error_ = readBlock(candidate);
    else
        candidate.visited = 1;
    return &candidate;
}

void CommunicationThread::report(int code, S7Plc* plc)
{
    lastReportedError_ = code;
    lastReportedPlc_ = plc;
    // Lanes report one at a time, as one thread would.
    if (coordinator_ != nullptr) {
        std::lock_guard lock(coordinator_->reportLock_);
        sink_.reportPlcStatus(code, plc);
        return;
    }
    sink_.reportPlcStatus(code, plc);
}

void CommunicationThread::handleError(S7Plc* plc, ReadBlock* chosen)
{
    if (error_ == 0) {
        if (lastReportedError_ != 0) report(0, plc);
        return;
    }
    const uint16_t quality = qualityFromError(error_);
    if (PollMeter* meter = meterOf(plc)) meter->recordError();
    if (chosen != nullptr) setBlockQuality(*chosen, quality);
    if (error_ != lastReportedError_ || plc != lastReportedPlc_) report(error_, plc);
    const PlcTransport::Recovery plan = transport_.recoveryAfter(error_, mustReopen_);
    const auto markPlc = [&] {
        if (plc == nullptr) return;
        for (auto& block : plc->blocks)
            setBlockQuality(*block, quality);
    };
    if (plan.openFirst) {
        markPlc();
        mustReopen_ = openTable() != 0;
    }
    if (plan.closeAndOpen) {
        transport_.close();
        pause(plan.pauseMs);
    }
    if (plan.markPlc) markPlc();
    if (plan.closeAndOpen) mustReopen_ = openTable() != 0;
}

// ---- viewers ----

std::vector<PollFigures> CommunicationThread::figures() const
{
    std::vector<PollFigures> all;
    if (!lanes_.empty()) {
        for (const auto& lane : lanes_) {
            auto figures = lane->thread->figures();
            all.insert(all.end(), figures.begin(), figures.end());
        }
        return all;
    }
    for (const S7Plc* plc : plcOrder_)
        all.push_back(meters_.at(plc)->figures());
    return all;
}

CommSnapshot CommunicationThread::snapshot() const
{
    CommSnapshot copy;
    if (!lanes_.empty()) {
        for (const auto& lane : lanes_) {
            CommSnapshot part = lane->thread->snapshot();
            for (auto& plc : part.plcs)
                copy.plcs.push_back(std::move(plc));
        }
        return copy;
    }
    std::lock_guard blocks(blockLock_);
    copy.plcs.reserve(plcOrder_.size());
    for (const S7Plc* plcPointer : plcOrder_) {
        const S7Plc& plc = *plcPointer;
        PlcSnapshot& p = copy.plcs.emplace_back();
        p.id = reinterpret_cast<uintptr_t>(&plc);
        p.name = plc.name;
        for (const auto& block : plc.blocks) {
            BlockSnapshot& b = p.blocks.emplace_back();
            b.id = block->serial;
            b.dataBlock = block->dataBlock;
            b.startByte = block->startByte;
            b.length = block->length;
            for (const auto& [key, tag] : block->tags) {
                TagSnapshot& t = b.tags.emplace_back();
                t.id = reinterpret_cast<uintptr_t>(tag.get());
                t.name = tag->getName();
                t.type = tag->getNativeDatatype();
                t.elements = tag->elements;
                if (auto cache = tag->getCache()) {
                    const auto state = cache->get();
                    t.value = snapshotValue(state.value);
                    t.quality = state.quality;
                }
            }
        }
    }
    return copy;
}

}  // namespace orva::core
