#include "core/CommunicationThread.h"

#include <algorithm>
#include <vector>

#include "core/ReadBlocks.h"
#include "core/ValueConversion.h"
#include "opc/SODaSGroup.h"
#include "opc/SODaSItem.h"
#include "opc/SODaSRequest.h"

namespace orva::core {
namespace {

// Wait after closing the connection table before it is opened again.
constexpr uint32_t REOPEN_PAUSE_MS = 100;
// Wait between iterations, on the stop signal.
constexpr uint32_t ITERATION_WAIT_MS = 5;

void failRequest(SODaSRequest& request)
{
    request.complete(E_FAIL, true, OPC_QUALITY_BAD, false, true);
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

SnapshotValue snapshotValue(const SOCmnVariant& v)
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

CommunicationThread::CommunicationThread(PlcList& plcs, std::shared_ptr<CoreQueues> queues,
                                         PlcTransport& transport, StatusSink& sink, CommSettings settings,
                                         TickSource* ticks)
    : plcs_(plcs),
      queues_(std::move(queues)),
      transport_(transport),
      sink_(sink),
      settings_(settings),
      ownTicks_(ticks ? nullptr : std::make_unique<SteadyTickSource>()),
      ticks_(ticks ? ticks : ownTicks_.get())
{
    for (std::size_t i = 0; i < plcs_.size(); ++i)
        plcOrder_.push_back(plcs_.at(i));
}

CommunicationThread::~CommunicationThread()
{
    stop();
}

void CommunicationThread::start()
{
    if (thread_.joinable()) return;
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void CommunicationThread::stop()
{
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopSignal_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool CommunicationThread::isRunning() const
{
    return thread_.joinable();
}

bool CommunicationThread::waitForStop(uint32_t milliseconds)
{
    std::unique_lock lock(stopMutex_);
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [this] { return stopRequested_; });
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
    if (!begin()) return;
    if (!waitForStop(ITERATION_WAIT_MS)) {
        do {
            iterate();
        } while (!waitForStop(ITERATION_WAIT_MS));
    }
    end();
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
    return true;
}

void CommunicationThread::end()
{
    transport_.close();
}

int CommunicationThread::openTable()
{
    {
        plcs_.list().lock();
        for (std::size_t i = 0; i < plcs_.size(); ++i)
            plcs_.at(i)->plcNumber = static_cast<uint16_t>(i + 1);
        // The next advance continues from the old position.
        plcs_.current = plcs_.at(0);
        plcs_.selectedPlc = 0;
        plcs_.list().unlock();
    }
    return transport_.open(plcs_);
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
    runWrites();
    runDeviceReads();
    applySubscriptionChanges();
    S7Plc* plc = nullptr;
    ReadBlock* chosen = scheduleAndRead(plc);
    handleError(plc, chosen);
    iterations_.fetch_add(1, std::memory_order_relaxed);
}

// ---- writes ----

void CommunicationThread::runWrites()
{
    settle(queues_->writeRequestQueue, REQUEST_SETTLING_STEP_MS);
    {
        std::lock_guard lock(queues_->queueLock);
        auto& queue = queues_->writeRequestQueue;
        for (auto& request : queue) {
            S7Plc* plc = request.tag->plc.get();
            SOCmnPointer<SODaSRequest> keep = request.request;
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
    {
        std::lock_guard lock(queues_->queueLock);
        // Bits share their byte with others, and a byte no request defines must keep its
        // value: such blocks are read from the PLC first.
        if (holdsBits(block) || !coversBlock(block))
            readCode = readRange(block.dataBlock, start, length, scratch.data());
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
            SOCmnPointer<SODaSRequest> keep = r.request;
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
            r.request->complete(E_FAIL, true, OPC_QUALITY_BAD, false, true);
        else if (code != 0)
            r.request->complete(E_FAIL, true, qualityFromError(code), false, true);
        else
            r.request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
    }
    block.requests.clear();
}

// ---- device reads ----

void CommunicationThread::runDeviceReads()
{
    settle(queues_->readRequestQueue, REQUEST_SETTLING_STEP_MS);
    {
        std::lock_guard lock(queues_->queueLock);
        auto& queue = queues_->readRequestQueue;
        for (auto& request : queue) {
            S7Plc* plc = request.tag->plc.get();
            SOCmnPointer<SODaSRequest> keep = request.request;
            // The server's own redundancy state has no place in the PLC: its cache is the value.
            if (plc != nullptr && plc->serverStateTag.get() == request.tag.get()) {
                keep->complete(S_OK, false, OPC_QUALITY_GOOD, false, true);
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
            SOCmnPointer<SODaSRequest> keep = r.request;
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
        r.request->complete(S_OK, false, OPC_QUALITY_GOOD, false, true);
    }
    block.requests.clear();
}

// ---- subscription changes ----

bool CommunicationThread::applySubscriptionChanges()
{
    settle(queues_->cyclicChangeQueue, settings_.settlingStepMs);
    std::lock_guard queueLock(queues_->queueLock);
    std::lock_guard blocks(blockLock_);
    auto changes = std::exchange(queues_->cyclicChangeQueue, {});
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
        if (!changes.empty() && redundancy_ != nullptr && plc.isRedundant()) redundancy_->upkeep(*this, plc);
    }
    return !changes.empty();
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
        } else if (tag.block != nullptr && change.updateRate < tag.block->updateRate) {
            core::takeOutOfBlock(plc, tag);
            core::registerTag(plc, tag, change.updateRate, settings_.gap, now);
        }
        return;
    }
    if (tag.inBlock == 1 && tag.clientItems.isEmpty()) {
        core::takeOutOfBlock(plc, tag);
        setQuality(tag, OPC_QUALITY_UNCERTAIN);
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

int CommunicationThread::readBlock(ReadBlock& block)
{
    const int code = readRange(block.dataBlock, block.startByte, block.length, block.buffer.data());
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
    block.lastRead = ticks_->now();
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
        const bool leave = error_ > 0 && transport_.isConnectionLevel(error_);
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
    sink_.reportPlcStatus(code, plc);
}

void CommunicationThread::handleError(S7Plc* plc, ReadBlock* chosen)
{
    if (error_ == 0) {
        if (lastReportedError_ != 0) report(0, plc);
        return;
    }
    const uint16_t quality = qualityFromError(error_);
    if (chosen != nullptr) setBlockQuality(*chosen, quality);
    if (error_ != lastReportedError_ || plc != lastReportedPlc_) report(error_, plc);
    if (mustReopen_ || transport_.isConnectionLevel(error_)) {
        transport_.close();
        pause(REOPEN_PAUSE_MS);
        if (plc != nullptr) {
            for (auto& block : plc->blocks)
                setBlockQuality(*block, quality);
        }
        mustReopen_ = openTable() != 0;
    }
}

// ---- viewers ----

CommSnapshot CommunicationThread::snapshot() const
{
    CommSnapshot copy;
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
