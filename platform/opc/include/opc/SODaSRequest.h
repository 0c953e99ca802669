#pragma once
// A client's read or write of one tag, from the moment the toolkit makes it until it is
// completed. The state bit SODASREQUEST_STATE_STARTED (0x02) is set by start() and cleared by
// complete(); SODASREQUEST_STATE_COMPLETED (0x04) is set by complete(). A request is completed
// exactly once: later calls of complete() return false and change nothing. A request that loses
// its last reference without having been completed is completed with E_ABORT, quality BAD, so
// no client waits for ever.

#include <cstdint>
#include <memory>
#include <mutex>

#include "opc/SOCmnObject.h"
#include "opc/SOCmnVariant.h"

namespace orva::opc {

class SODaSItemTag;

inline constexpr uint8_t SODASREQUEST_STATE_STARTED = 0x02;
inline constexpr uint8_t SODASREQUEST_STATE_COMPLETED = 0x04;

// Elements of an array (or characters of a string) that a write replaces: `count` elements from
// `first`. A count of 0 means the whole value.
struct SOElementRange {
    uint32_t first = 0;
    uint32_t count = 0;
    bool isWhole() const noexcept { return count == 0; }
    bool operator==(const SOElementRange&) const = default;
};

// What the client gets when its request completes.
struct SODaSRequestResult {
    HRESULT result = E_FAIL;
    uint16_t quality = OPC_QUALITY_BAD;
    SOCmnVariant value;     // reads: the cache value at completion
    TimeStamp timeStamp{};  // reads: the cache time stamp; writes: time of completion
};

// Receives the completion; called once, on the completing thread, without toolkit locks.
class SODaSRequestSink {
public:
    virtual ~SODaSRequestSink() = default;
    virtual void onRequestCompleted(const SODaSRequestResult& result, bool notify) noexcept = 0;
};

class SODaSRequest : public SOCmnObject {
public:
    enum Operation : uint8_t { read = 1, write = 2 };

    SODaSRequest(Operation operation, uint16_t type, SODaSItemTag* tag);

    Operation getOperation() const noexcept { return operation_; }
    uint16_t getType() const noexcept { return type_; }
    bool isDeviceRequest() const noexcept
    {
        return type_ == SODASREQUEST_TYPE_DEVICE || type_ == SODASREQUEST_TYPE_DEVICE_REFRESH;
    }
    SOCmnPointer<SODaSItemTag> getItemTag() const;

    // The value a write carries, already of the tag's native type.
    const SOCmnVariant& getWriteValue() const noexcept { return writeValue_; }
    void setWriteValue(SOCmnVariant value) { writeValue_ = std::move(value); }
    // The elements a write replaces; the write value then holds exactly those elements.
    SOElementRange getWriteRange() const noexcept { return writeRange_; }
    void setWriteRange(SOElementRange range) noexcept { writeRange_ = range; }

    // Marks the request as being worked on; false once it is completed.
    bool start();
    bool isStarted() const noexcept { return (getObjectState() & SODASREQUEST_STATE_STARTED) != 0; }
    bool isCompleted() const noexcept { return (getObjectState() & SODASREQUEST_STATE_COMPLETED) != 0; }

    // Completes the request (first call only; returns false afterwards).
    //   result          reported to the client (S_OK, E_FAIL, ...)
    //   validQuality    writes: the client sees `quality` as the write's quality; without it the
    //                   client sees GOOD for a success and BAD for a failure. Reads report the
    //                   cache's value, quality and time stamp at completion (a failed read with
    //                   validQuality reports `quality` instead of the cache's).
    //   quality         see validQuality
    //   storeWriteValue writes that succeed: also store the written value in the cache (GOOD)
    //   notify          false: record the result and wake waiting clients, but post no
    //                   completion callback
    bool complete(HRESULT result, bool validQuality, uint16_t quality, bool storeWriteValue, bool notify);

    // Set by the toolkit before the request is handed out.
    void setSink(std::shared_ptr<SODaSRequestSink> sink);

protected:
    ~SODaSRequest() override;

private:
    std::mutex mutex_;
    const Operation operation_;
    const uint16_t type_;
    SOCmnPointer<SODaSItemTag> tag_;
    SOCmnVariant writeValue_;
    SOElementRange writeRange_;
    std::shared_ptr<SODaSRequestSink> sink_;
};

}  // namespace orva::opc
