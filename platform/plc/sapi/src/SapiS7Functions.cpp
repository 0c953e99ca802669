// The library's operations on the one instance of the process.
#include "sapis7/SapiS7.h"

namespace orva::sapis7 {
namespace {

SapiS7Library& processLibrary()
{
    static SapiS7Library library;
    return library;
}

}  // namespace

int sapiQueryDevice(const char* interfaceName, int index, uint16_t* count, char* deviceName)
{
    return processLibrary().queryDevice(interfaceName, index, count, deviceName);
}
int sapiOpen(const char* interfaceName, const char* deviceName, uint32_t* descriptor)
{
    return processLibrary().open(interfaceName, deviceName, descriptor);
}
int sapiGetConnection(uint32_t descriptor, const char* connectionName, uint16_t* connectionRef)
{
    return processLibrary().getConnection(descriptor, connectionName, connectionRef);
}
int sapiConnect(uint32_t descriptor, uint16_t connectionRef)
{
    return processLibrary().connect(descriptor, connectionRef);
}
int sapiReceive(uint32_t descriptor, uint16_t* connectionRef, uint8_t* buffer)
{
    return processLibrary().receive(descriptor, connectionRef, buffer);
}
int sapiConnectConfirm()
{
    return processLibrary().connectConfirm();
}
int sapiAbortIndication()
{
    return processLibrary().abortIndication();
}
int sapiDiscard()
{
    return processLibrary().discard();
}
int sapiAbort(uint32_t descriptor, uint16_t connectionRef)
{
    return processLibrary().abort(descriptor, connectionRef);
}
int sapiReadRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record)
{
    return processLibrary().readRequest(descriptor, connectionRef, reserved, record);
}
int sapiReadConfirm(int reserved, uint16_t* byteCount, uint8_t* data)
{
    return processLibrary().readConfirm(reserved, byteCount, data);
}
int sapiWriteRequest(uint32_t descriptor, uint16_t connectionRef, int reserved, const VariableRecord* record,
                     int reserved2)
{
    return processLibrary().writeRequest(descriptor, connectionRef, reserved, record, reserved2);
}
int sapiWriteConfirm()
{
    return processLibrary().writeConfirm();
}
int sapiClose(uint32_t descriptor)
{
    return processLibrary().close(descriptor);
}
int sapiLastError()
{
    return processLibrary().lastError();
}
int sapiErrorText(char* buffer)
{
    return processLibrary().errorText(buffer);
}
int sapiWaitEvent(uint32_t descriptor, uint16_t connectionRef, int timeoutMs)
{
    return processLibrary().waitEvent(descriptor, connectionRef, timeoutMs);
}

}  // namespace orva::sapis7
