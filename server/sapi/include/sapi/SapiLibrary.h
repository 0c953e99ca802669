#pragma once
// The SAPI-S7 library's operations as Vardel calls them, so that tests can put a recording
// fake in the library's place. sapiWaitEvent is the wait between two sapiReceive polls: it
// returns as soon as an event of the connection is there, or after timeoutMs.

#include <cstdint>
#include <memory>

#include "registry/Registry.h"
#include "sapis7/SapiS7.h"

namespace orva::sapi {

using sapis7::VariableRecord;

class SapiLibrary {
public:
    virtual ~SapiLibrary() = default;
    virtual int sapiQueryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName) = 0;
    virtual int sapiOpen(const char* interfaceName, const char* deviceName, uint32_t* descriptor) = 0;
    virtual int sapiGetConnection(uint32_t descriptor, const char* connectionName,
                                  uint16_t* connectionRef) = 0;
    virtual int sapiConnect(uint32_t descriptor, uint16_t connectionRef) = 0;
    virtual int sapiReceive(uint32_t descriptor, uint16_t* connectionRef, uint8_t* buffer) = 0;
    virtual int sapiConnectConfirm() = 0;
    virtual int sapiAbortIndication() = 0;
    virtual int sapiDiscard() = 0;
    virtual int sapiAbort(uint32_t descriptor, uint16_t connectionRef) = 0;
    virtual int sapiReadRequest(uint32_t descriptor, uint16_t connectionRef, int reserved,
                                const VariableRecord* record) = 0;
    virtual int sapiReadConfirm(int reserved, uint16_t* byteCount, uint8_t* data) = 0;
    virtual int sapiWriteRequest(uint32_t descriptor, uint16_t connectionRef, int reserved,
                                 const VariableRecord* record, int reserved2) = 0;
    virtual int sapiWriteConfirm() = 0;
    virtual int sapiClose(uint32_t descriptor) = 0;
    virtual int sapiLastError() = 0;
    // Thread-safe: the status line asks for the text from the main thread.
    virtual int sapiErrorText(char* buffer) = 0;
    virtual int sapiWaitEvent(uint32_t descriptor, uint16_t connectionRef, int timeoutMs) = 0;
};

// A library instance of its own over the connection database in this registry.
std::unique_ptr<SapiLibrary> makeSapiLibrary(
    orva::registry::Registry registry = orva::registry::Registry::machine());

}  // namespace orva::sapi
