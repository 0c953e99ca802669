#include "opc/SOSrvEntry.h"

#include "opc/SOSrvObjectRoot.h"

namespace orva::opc {

SOSrvEntry::SOSrvEntry() : SOCmnObject(SOCMNOBJECT_TYPE_ENTRY), objectRoot_(new SOSrvObjectRoot) {}

SOSrvEntry::~SOSrvEntry() = default;

bool SOSrvEntry::initialize(uint32_t, const char* clsid, void*, uint32_t)
{
    if (!clsid || !*clsid) return false;
    std::lock_guard g(entryMutex_);
    registerInfo_.clsid = clsid;
    return true;
}

void SOSrvEntry::initializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t authnSvc,
                                    uint32_t capabilities)
{
    std::lock_guard g(entryMutex_);
    security_[0] = authnLevel;
    security_[1] = impLevel;
    security_[2] = authnSvc;
    security_[3] = capabilities;
}

void SOSrvEntry::setRegisterInfo(const char* progId, const char* versionIndependentProgId,
                                 const char* description, const char* executablePath)
{
    std::lock_guard g(entryMutex_);
    registerInfo_.progId = progId ? progId : "";
    registerInfo_.versionIndependentProgId = versionIndependentProgId ? versionIndependentProgId : "";
    registerInfo_.description = description ? description : "";
    registerInfo_.executablePath = executablePath ? executablePath : "";
}

void SOSrvEntry::setVersionInfo(uint16_t major, uint16_t minor, uint16_t build)
{
    major_ = major;
    minor_ = minor;
    build_ = build;
}

void SOSrvEntry::setRegistrationSink(std::shared_ptr<SOSrvRegistrationSink> sink)
{
    std::lock_guard g(entryMutex_);
    registrationSink_ = std::move(sink);
}

std::shared_ptr<SOSrvRegistrationSink> SOSrvEntry::currentRegistrationSink() const
{
    std::lock_guard g(entryMutex_);
    return registrationSink_;
}

bool SOSrvEntry::registerServer()
{
    auto sink = currentRegistrationSink();
    return sink && sink->registerServer(registerInfo_);
}

bool SOSrvEntry::unregisterServer()
{
    auto sink = currentRegistrationSink();
    return sink && sink->unregisterServer(registerInfo_);
}

bool SOSrvEntry::registerCategories()
{
    auto sink = currentRegistrationSink();
    return sink && sink->registerCategories(registerInfo_);
}

bool SOSrvEntry::unregisterCategories()
{
    auto sink = currentRegistrationSink();
    return sink && sink->unregisterCategories(registerInfo_);
}

void SOSrvEntry::setEventHandler(SOSrvEventHandler* handler)
{
    std::lock_guard g(entryMutex_);
    eventHandler_ = shareRef(handler);
}

SOCmnPointer<SOSrvEventHandler> SOSrvEntry::getEventHandler() const
{
    std::lock_guard g(entryMutex_);
    return eventHandler_;
}

SOCmnPointer<SOSrvObjectRoot> SOSrvEntry::getObjectRoot() const
{
    return objectRoot_;
}

}  // namespace orva::opc
