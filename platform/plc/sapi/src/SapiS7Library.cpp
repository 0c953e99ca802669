#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "sapis7/SapiS7.h"

namespace orva::sapis7 {
namespace {

// "DB<n>,B<start>,<count>" with numbers of at most 16 bits.
bool parseAddress(const char (&text)[72], uint16_t& dataBlock, uint16_t& startByte, uint16_t& count)
{
    const std::size_t length = ::strnlen(text, sizeof text);
    if (length == sizeof text) return false;  // no NUL inside the field
    std::string_view rest(text, length);
    const auto number = [&rest](std::string_view prefix, uint16_t& out) {
        if (rest.substr(0, prefix.size()) != prefix) return false;
        rest.remove_prefix(prefix.size());
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (ec != std::errc{} || end == rest.data() || value > 0xFFFF) return false;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        out = static_cast<uint16_t>(value);
        return true;
    };
    return number("DB", dataBlock) && number(",B", startByte) && number(",", count) && rest.empty();
}

void copyText(const std::string& text, char* buffer, std::size_t capacity)
{
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// Device names compare as far as the query's buffer carries them.
bool sameDevice(const std::string& a, const char* b)
{
    return a.substr(0, kDeviceNameCapacity - 1) == std::string_view(b).substr(0, kDeviceNameCapacity - 1);
}

}  // namespace

void makeVariableRecord(VariableRecord& record, uint16_t dataBlock, uint16_t startByte, uint16_t byteCount,
                        const uint8_t* data)
{
    record = VariableRecord{};
    std::snprintf(record.address, sizeof record.address, "DB%u,B%u,%u", unsigned{dataBlock},
                  unsigned{startByte}, unsigned{byteCount});
    if (data != nullptr) {
        record.byteCount = std::min<uint16_t>(byteCount, kMaxWriteBytes);
        std::memcpy(record.data, data, record.byteCount);
    }
}

SapiS7Library::SapiS7Library(orva::registry::Registry registry) : registry_(std::move(registry)) {}

SapiS7Library::~SapiS7Library() = default;

int SapiS7Library::succeed()
{
    return 0;
}

int SapiS7Library::failWith(int error, std::string text)
{
    std::lock_guard lock(errorMutex_);
    lastError_ = error;
    lastErrorText_ = text.empty() ? sapiErrorMessage(error) : std::move(text);
    return kSapiFailed;
}

SapiS7Library::Interface* SapiS7Library::find(uint32_t descriptor)
{
    const auto it = interfaces_.find(descriptor);
    return it == interfaces_.end() ? nullptr : it->second.get();
}

SapiConnection* SapiS7Library::connection(uint32_t descriptor, uint16_t ref)
{
    Interface* iface = find(descriptor);
    if (iface == nullptr) return nullptr;
    const auto it = iface->connections.find(ref);
    return it == iface->connections.end() ? nullptr : it->second.get();
}

int SapiS7Library::readDatabase(const char* interfaceName, InterfaceDatabase& database)
{
    std::string detail;
    switch (readInterface(registry_, interfaceName, database, &detail)) {
        case DatabaseStatus::NoInterface:
            return failWith(kSapiNoInterface, std::string("interface ") + interfaceName +
                                                  " is not configured in the connection database");
        case DatabaseStatus::Unreadable:
            return failWith(kSapiDatabaseUnreadable, std::string("connection database of interface ") +
                                                         interfaceName + " cannot be read: " + detail);
        case DatabaseStatus::Ok:
            break;
    }
    return succeed();
}

int SapiS7Library::queryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName)
{
    if (interfaceName == nullptr || count == nullptr || deviceName == nullptr)
        return failWith(kSapiBadArgument);
    InterfaceDatabase database;
    if (readDatabase(interfaceName, database) != 0) {
        // An unreadable database may well hold a device; a missing interface has none.
        *count = lastError() == kSapiDatabaseUnreadable ? 1 : 0;
        return kSapiFailed;
    }
    // An interface without connections has no device to open.
    *count = database.connections.empty() ? 0 : 1;
    if (*count == 0) return succeed();
    if (index != 0)
        return failWith(kSapiBadArgument, "interface " + std::string(interfaceName) + " has one device");
    copyText(database.device, deviceName, kDeviceNameCapacity);
    return succeed();
}

int SapiS7Library::open(const char* interfaceName, const char* deviceName, uint32_t* descriptor)
{
    if (interfaceName == nullptr || deviceName == nullptr || descriptor == nullptr)
        return failWith(kSapiBadArgument);
    auto iface = std::make_unique<Interface>();
    if (readDatabase(interfaceName, iface->database) != 0) return kSapiFailed;
    if (!sameDevice(iface->database.device, deviceName)) {
        return failWith(kSapiWrongDevice, std::string("device ") + deviceName + " is not the device " +
                                              iface->database.device + " of interface " + interfaceName);
    }
    iface->name = interfaceName;
    iface->device = iface->database.device;
    if (nextDescriptor_ == 0) nextDescriptor_ = 1;
    *descriptor = nextDescriptor_++;
    interfaces_[*descriptor] = std::move(iface);
    return succeed();
}

int SapiS7Library::getConnection(uint32_t descriptor, const char* connectionName, uint16_t* connectionRef)
{
    Interface* iface = find(descriptor);
    if (iface == nullptr) return failWith(kSapiNotOpen);
    if (connectionName == nullptr || connectionRef == nullptr) return failWith(kSapiBadArgument);
    const auto& entries = iface->database.connections;
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const ConnectionEntry& e) {
        return orva::registry::namesEqual(e.name, connectionName);
    });
    if (it == entries.end()) {
        return failWith(kSapiUnknownConnection, std::string("connection ") + connectionName +
                                                    " is not configured for interface " + iface->name);
    }
    if (!it->target) return failWith(it->error, "connection " + it->name + ": " + it->problem);
    const auto ref = static_cast<uint16_t>(it - entries.begin() + 1);
    auto& slot = iface->connections[ref];
    if (!slot) slot = std::make_unique<SapiConnection>(ref, *it, iface->events);
    *connectionRef = ref;
    return succeed();
}

int SapiS7Library::connect(uint32_t descriptor, uint16_t connectionRef)
{
    if (find(descriptor) == nullptr) return failWith(kSapiNotOpen);
    SapiConnection* c = connection(descriptor, connectionRef);
    if (c == nullptr) return failWith(kSapiBadConnectionRef);
    if (const int error = c->connect()) return failWith(error, c->problem());
    return succeed();
}

void SapiS7Library::pump(Interface& iface, int timeoutMs)
{
    std::vector<pollfd> fds;
    std::vector<SapiConnection*> owners;
    for (auto& [ref, c] : iface.connections) {
        if (c->fd() < 0) continue;
        fds.push_back(pollfd{c->fd(), c->pollEvents(), 0});
        owners.push_back(c.get());
    }
    const int n = ::poll(fds.data(), fds.size(), timeoutMs);
    for (std::size_t i = 0; i < owners.size(); ++i)
        owners[i]->service(n > 0 ? fds[i].revents : 0);
}

bool SapiS7Library::hasEvent(const Interface& iface, uint16_t ref)
{
    return std::any_of(iface.events.begin(), iface.events.end(),
                       [ref](const SapiEvent& e) { return ref == 0 || e.connection == ref; });
}

int SapiS7Library::waitEvent(uint32_t descriptor, uint16_t connectionRef, int timeoutMs)
{
    Interface* iface = find(descriptor);
    if (iface == nullptr) return kSapiReceiveError;
    if (hasEvent(*iface, connectionRef)) return 1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        // Sleeps in poll() until a socket has something or the time is up.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pump(*iface, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (hasEvent(*iface, connectionRef)) return 1;
        if (left.count() <= 0) return 0;
    }
}

int SapiS7Library::receive(uint32_t descriptor, uint16_t* connectionRef, uint8_t* buffer)
{
    Interface* iface = find(descriptor);
    if (iface == nullptr) {
        failWith(kSapiNotOpen);
        return kSapiReceiveError;
    }
    const uint16_t wanted = connectionRef != nullptr ? *connectionRef : 0;
    // The sockets are looked at only when no event is waiting already.
    if (!hasEvent(*iface, wanted)) pump(*iface, 0);
    const auto it = std::find_if(iface->events.begin(), iface->events.end(), [wanted](const SapiEvent& e) {
        return wanted == 0 || e.connection == wanted;
    });
    if (it == iface->events.end()) return 0;
    // An event received earlier and never confirmed is given up.
    received_ = std::move(*it);
    iface->events.erase(it);
    if (connectionRef != nullptr) *connectionRef = received_->connection;
    if (buffer != nullptr) {
        const uint16_t record[4] = {static_cast<uint16_t>(received_->code), received_->connection,
                                    static_cast<uint16_t>(received_->error),
                                    static_cast<uint16_t>(received_->data.size())};
        std::memcpy(buffer, record, sizeof record);
    }
    return received_->code;
}

std::optional<SapiEvent> SapiS7Library::take(int code)
{
    if (!received_ || received_->code != code) return std::nullopt;
    std::optional<SapiEvent> event = std::move(received_);
    received_.reset();
    return event;
}

int SapiS7Library::connectConfirm()
{
    const auto event = take(kEventConnectConfirm);
    if (!event) return failWith(kSapiNoConfirmation, "no connect confirmation was received");
    if (event->error != 0) return failWith(event->error, event->text);
    return succeed();
}

int SapiS7Library::abortIndication()
{
    const auto event = take(kEventAbortIndication);
    if (!event) return failWith(kSapiNoConfirmation, "no abort indication was received");
    // The reason of the abort becomes the last error, for the caller to report.
    failWith(event->error, event->text);
    return succeed();
}

int SapiS7Library::discard()
{
    received_.reset();
    return succeed();
}

int SapiS7Library::abort(uint32_t descriptor, uint16_t connectionRef)
{
    if (find(descriptor) == nullptr) return failWith(kSapiNotOpen);
    SapiConnection* c = connection(descriptor, connectionRef);
    if (c == nullptr) return failWith(kSapiBadConnectionRef);
    c->abort();
    if (received_ && received_->connection == connectionRef) received_.reset();
    return succeed();
}

int SapiS7Library::readRequest(uint32_t descriptor, uint16_t connectionRef, int, const VariableRecord* record)
{
    if (find(descriptor) == nullptr) return failWith(kSapiNotOpen);
    SapiConnection* c = connection(descriptor, connectionRef);
    if (c == nullptr) return failWith(kSapiBadConnectionRef);
    uint16_t dataBlock = 0, startByte = 0, count = 0;
    if (record == nullptr || !parseAddress(record->address, dataBlock, startByte, count) || count == 0 ||
        count > kMaxReadBytes) {
        return failWith(kSapiBadVariable);
    }
    if (const int error = c->readRequest(dataBlock, startByte, count)) return failWith(error, c->problem());
    return succeed();
}

int SapiS7Library::readConfirm(int, uint16_t* byteCount, uint8_t* data)
{
    const auto event = take(kEventReadConfirm);
    if (!event) return failWith(kSapiNoConfirmation, "no read confirmation was received");
    if (event->error != 0) return failWith(event->error, event->text);
    if (byteCount == nullptr || data == nullptr) return failWith(kSapiBadArgument);
    // Never more than the caller's buffer holds, whatever the partner sent.
    if (event->data.size() > *byteCount) {
        return failWith(kSapiBufferTooSmall, "read confirmation of " + std::to_string(event->data.size()) +
                                                 " bytes for a buffer of " + std::to_string(*byteCount));
    }
    std::memcpy(data, event->data.data(), event->data.size());
    *byteCount = static_cast<uint16_t>(event->data.size());
    return succeed();
}

int SapiS7Library::writeRequest(uint32_t descriptor, uint16_t connectionRef, int,
                                const VariableRecord* record, int)
{
    if (find(descriptor) == nullptr) return failWith(kSapiNotOpen);
    SapiConnection* c = connection(descriptor, connectionRef);
    if (c == nullptr) return failWith(kSapiBadConnectionRef);
    uint16_t dataBlock = 0, startByte = 0, count = 0;
    if (record == nullptr || !parseAddress(record->address, dataBlock, startByte, count) || count == 0 ||
        count > kMaxWriteBytes || count != record->byteCount) {
        return failWith(kSapiBadVariable);
    }
    if (const int error =
            c->writeRequest(dataBlock, startByte, std::span<const uint8_t>(record->data, count)))
        return failWith(error, c->problem());
    return succeed();
}

int SapiS7Library::writeConfirm()
{
    const auto event = take(kEventWriteConfirm);
    if (!event) return failWith(kSapiNoConfirmation, "no write confirmation was received");
    if (event->error != 0) return failWith(event->error, event->text);
    return succeed();
}

int SapiS7Library::close(uint32_t descriptor)
{
    const auto it = interfaces_.find(descriptor);
    if (it == interfaces_.end()) return failWith(kSapiNotOpen);
    interfaces_.erase(it);
    received_.reset();
    return succeed();
}

int SapiS7Library::lastError() const
{
    std::lock_guard lock(errorMutex_);
    return lastError_ & 0xFFFF;
}

int SapiS7Library::errorText(char* buffer) const
{
    if (buffer == nullptr) return kSapiFailed;
    std::lock_guard lock(errorMutex_);
    copyText(lastErrorText_, buffer, kErrorTextCapacity);
    return 0;
}

}  // namespace orva::sapis7
