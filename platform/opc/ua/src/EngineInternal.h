#pragma once
// What the service files of the engine share: the encoding ids of the services, the request
// context, the session and subscription state and the encodings of the structures that more than
// one service writes.

#include <memory>
#include <string>
#include <vector>

#include "Session.h"
#include "Subscription.h"
#include "opcua/Binary.h"
#include "opcua/Engine.h"
#include "opcua/NumericRange.h"
#include "opcua/Transport.h"

namespace orva::opcua {

// Encoding ids (binary) of the services; the response id is the request id + 3.
namespace svc {
inline constexpr uint32_t ServiceFault = 397, FindServers = 422, GetEndpoints = 428, OpenSecureChannel = 446,
                          CloseSecureChannel = 452, CreateSession = 461, ActivateSession = 467,
                          CloseSession = 473, Browse = 527, BrowseNext = 533, Translate = 554,
                          RegisterNodes = 560, UnregisterNodes = 566, Read = 631, Write = 673,
                          CreateMonitoredItems = 751, ModifyMonitoredItems = 763, SetMonitoringMode = 769,
                          DeleteMonitoredItems = 781, CreateSubscription = 787, ModifySubscription = 793,
                          SetPublishingMode = 799, Publish = 826, Republish = 832, DeleteSubscriptions = 847,
                          Call = 712;
inline constexpr uint32_t UserNameIdentityToken = 324, X509IdentityToken = 327, IssuedIdentityToken = 940;
inline constexpr uint32_t AnonymousIdentityToken = 321, AnonymousIdentityTokenType = 319,
                          DataChangeNotification = 811, EventNotificationList = 916, DataChangeFilter = 724,
                          ServerStatusDataType = 864;
}  // namespace svc

struct Engine::RequestContext {
    uint32_t channelId = 0;
    uint32_t requestId = 0;
    NodeId authenticationToken;
    uint32_t requestHandle = 0;
    uint32_t timeoutHint = 0;
    std::string_view endpointUrl;  // the URL the client connected to; valid while the handler runs
    // Set while the handler runs: the session the request was admitted for (services that need
    // one) and the service's row of the table.
    Session* session = nullptr;
    const Service* service = nullptr;
    const ChannelSecurity* security = nullptr;  // null: SecurityPolicy None
};

struct Engine::PendingRead {
    RequestContext ctx;  // session and service cleared: the read completes later
    uint32_t sessionKey = 0;
    ClientHandle client = kNoHandle;
    double maxAge = 0;
    TimestampsToReturn timestamps = TimestampsToReturn::Source;
    std::vector<DataValue> results;
    std::vector<size_t> slots;  // result index of each backend item
    std::vector<std::string> itemIds;
    std::vector<NumericRange> ranges;  // by result index; the values are cut to them at the end
};

// The context to answer a queued Publish request with.
inline Engine::RequestContext replyContext(const PendingPublish& p)
{
    Engine::RequestContext ctx;
    ctx.channelId = p.channelId;
    ctx.requestId = p.requestId;
    ctx.requestHandle = p.requestHandle;
    return ctx;
}

void writeResponseHeader(Writer& w, uint32_t requestHandle, StatusCode serviceResult);
void writeReferenceDescription(Writer& w, const ReferenceDescription& r, uint32_t resultMask);
// Keeps the time stamps the client asked for.
void applyTimestamps(DataValue& v, TimestampsToReturn which);
// A random byte string (nonces, tokens, session ids).
std::string randomBytes(size_t n);
// Skips a request's string array that the server does not use, such as localeIds.
void skipStringArray(Reader& r);

}  // namespace orva::opcua
