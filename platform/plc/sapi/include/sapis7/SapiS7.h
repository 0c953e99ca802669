#pragma once
// The SAPI-S7 library: S7 PLCs addressed by the names of connections configured for an
// interface in the connection database (see ConnectionDatabase.h), spoken to over ISO-on-TCP.
//
// It is event-driven: requests (connect, read, write) return at once, and their confirmations,
// like the abort indication of a connection that broke, arrive through sapiReceive. Sockets are
// non-blocking; the library does its socket work inside sapiReceive and sapiWaitEvent, so a
// silent partner never blocks a call.
//
// Results: 0 is success, 1 a failure whose number sapiLastError gives and whose text
// sapiErrorText gives (the library never answers -1, "busy"). sapiReceive answers an event code,
// 0 when no event is there, or -2 on failure.
//
// All calls but sapiLastError and sapiErrorText come from one thread; those two may run
// concurrently from another.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "registry/Registry.h"
#include "sapis7/ConnectionDatabase.h"
#include "sapis7/SapiConnection.h"
#include "sapis7/SapiErrors.h"

namespace orva::sapis7 {

inline constexpr int kSapiFailed = 1;
inline constexpr int kSapiReceiveError = -2;

// Capacity of the device name buffer of sapiQueryDevice (with its NUL).
inline constexpr std::size_t kDeviceNameCapacity = 36;
// Capacity of the buffer of sapiErrorText (with its NUL); longer texts are cut.
inline constexpr std::size_t kErrorTextCapacity = 256;
// Size of the event record sapiReceive writes: event code, connection reference, error number
// and data byte count, four 16-bit values in host order.
inline constexpr std::size_t kReceiveBufferSize = 8;

// Largest data of one read and one write (a 240-byte PDU's worth).
inline constexpr uint16_t kMaxReadBytes = 222;
inline constexpr uint16_t kMaxWriteBytes = 212;

// The variable record of sapiReadRequest and sapiWriteRequest.
struct VariableRecord {
    uint16_t kind = 2;
    char address[72] = {};   // "DB%d,B%d,%d": data block, start byte, byte count; NUL-terminated
    uint16_t byteCount = 0;  // writes: the number of bytes in data
    uint8_t data[kMaxWriteBytes] = {};
};
static_assert(offsetof(VariableRecord, address) == 2);
static_assert(offsetof(VariableRecord, byteCount) == 74);
static_assert(offsetof(VariableRecord, data) == 76);

// Fills a record's address text (and, for writes, the count and data).
void makeVariableRecord(VariableRecord& record, uint16_t dataBlock, uint16_t startByte, uint16_t byteCount,
                        const uint8_t* data = nullptr);

class SapiS7Library {
public:
    explicit SapiS7Library(orva::registry::Registry registry = orva::registry::Registry::machine());
    ~SapiS7Library();
    SapiS7Library(const SapiS7Library&) = delete;
    SapiS7Library& operator=(const SapiS7Library&) = delete;

    int queryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName);
    int open(const char* interfaceName, const char* deviceName, uint32_t* descriptor);
    int getConnection(uint32_t descriptor, const char* connectionName, uint16_t* connectionRef);
    int connect(uint32_t descriptor, uint16_t connectionRef);
    // connectionRef in: the connection whose events are wanted (0: any); out: the event's.
    int receive(uint32_t descriptor, uint16_t* connectionRef, uint8_t* buffer);
    int connectConfirm();
    int abortIndication();
    int discard();
    int abort(uint32_t descriptor, uint16_t connectionRef);
    int readRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record);
    // byteCount in: the capacity of data; out: the bytes delivered.
    int readConfirm(int reserved, uint16_t* byteCount, uint8_t* data);
    int writeRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record,
                     int reserved2);
    int writeConfirm();
    int close(uint32_t descriptor);
    int lastError() const;
    // Writes the text of the last error into buffer (kErrorTextCapacity bytes).
    int errorText(char* buffer) const;
    // Waits up to timeoutMs until an event of the connection (0: any) is there; 1 when one is,
    // 0 when the time ran out, -2 for a descriptor that is not open.
    int waitEvent(uint32_t descriptor, uint16_t connectionRef, int timeoutMs);

private:
    struct Interface {
        std::string name;
        std::string device;
        InterfaceDatabase database;
        std::map<uint16_t, std::unique_ptr<SapiConnection>> connections;
        std::deque<SapiEvent> events;
    };

    // Reads the interface's key; 0, or a failure with its error set.
    int readDatabase(const char* interfaceName, InterfaceDatabase& database);
    Interface* find(uint32_t descriptor);
    SapiConnection* connection(uint32_t descriptor, uint16_t ref);
    // Moves every connection on with what its socket has now (waiting at most timeoutMs).
    void pump(Interface& iface, int timeoutMs);
    static bool hasEvent(const Interface& iface, uint16_t ref);
    // Takes the event received last if it is of this kind.
    std::optional<SapiEvent> take(int code);
    int succeed();
    int failWith(int error, std::string text = {});

    orva::registry::Registry registry_;
    std::map<uint32_t, std::unique_ptr<Interface>> interfaces_;
    uint32_t nextDescriptor_ = 1;
    std::optional<SapiEvent> received_;

    mutable std::mutex errorMutex_;
    int lastError_ = 0;
    std::string lastErrorText_;
};

// The operations on the library instance of the process (the machine's connection database).
int sapiQueryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName);
int sapiOpen(const char* interfaceName, const char* deviceName, uint32_t* descriptor);
int sapiGetConnection(uint32_t descriptor, const char* connectionName, uint16_t* connectionRef);
int sapiConnect(uint32_t descriptor, uint16_t connectionRef);
int sapiReceive(uint32_t descriptor, uint16_t* connectionRef, uint8_t* buffer);
int sapiConnectConfirm();
int sapiAbortIndication();
int sapiDiscard();
int sapiAbort(uint32_t descriptor, uint16_t connectionRef);
int sapiReadRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record);
int sapiReadConfirm(int reserved, uint16_t* byteCount, uint8_t* data);
int sapiWriteRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record,
                     int reserved2);
int sapiWriteConfirm();
int sapiClose(uint32_t descriptor);
int sapiLastError();
int sapiErrorText(char* buffer);
int sapiWaitEvent(uint32_t descriptor, uint16_t connectionRef, int timeoutMs);

}  // namespace orva::sapis7
