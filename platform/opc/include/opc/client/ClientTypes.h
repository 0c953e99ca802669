#pragma once
// Values, results and pending requests of the in-process client API (see ServerConnection.h).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opc/SODaSEntry.h"
#include "opc/SODaSGroup.h"
#include "opc/SODaSRequest.h"

namespace orva::opc::client {

// The server handle of an item in its group.
using ItemHandle = uint32_t;

// Completion of a read or write: result, quality, value and time stamp (see SODaSRequest).
using RequestResult = opc::SODaSRequestResult;
// One changed value of a data change; `serverHandle` is the ItemHandle.
using ItemValue = opc::SODaSItemValue;

using CompletionCallback = std::function<void(const RequestResult&)>;
using DataChangeCallback = std::function<void(const std::vector<ItemValue>&)>;
using ShutdownCallback = std::function<void(const std::string& reason)>;

struct AddItemResult {
    opc::HRESULT result =
        opc::E_FAIL;  // S_OK, OPC_E_UNKNOWNITEMID, OPC_E_INVALIDITEMID, OPC_E_NOTCONNECTED, ...
    ItemHandle handle = 0;
    VarType nativeType = 0;
    uint32_t accessRights = 0;
};

// A child of a branch, or the element an item ID names.
struct BrowseElement {
    bool isBranch = false;
    std::string name;
    std::string itemId;
    VarType nativeType = 0;     // leaves only
    uint32_t accessRights = 0;  // leaves only: 1 readable, 2 writable
    std::string description;    // leaves only: property 101
    uint32_t arrayLength = 0;   // leaves of an array type: elements of the cached array
};

struct ConnectionState;

// A read or write on its way. Completed exactly once; wait() may be called from any thread.
class Request {
public:
    bool isDone() const;
    // The result once done; nothing when the time-out passed first.
    std::optional<RequestResult> wait(std::chrono::milliseconds timeout) const;

    // Toolkit side.
    void finish(const RequestResult& result, bool notify);
    Request(std::shared_ptr<ConnectionState> connection, CompletionCallback callback,
            opc::SOCmnPointer<opc::SODaSEntry> entry);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool done_ = false;
    RequestResult result_;
    std::weak_ptr<ConnectionState> connection_;
    CompletionCallback callback_;
    opc::SOCmnPointer<opc::SODaSEntry> entry_;
};

using RequestPtr = std::shared_ptr<Request>;

}  // namespace orva::opc::client
