#pragma once
// The toolkit entry: identity, registration, the event handler, start and stop, the object root
// that lists connected server objects, and the event pool.
//
// Registration does not touch the system itself: register, unregister and the two category calls
// are handed to a registration sink that the process installs (the registry stand-in). Without
// a sink they do nothing and return false.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/SOCmnEvent.h"
#include "opc/SOCmnList.h"
#include "opc/SOSrvEventHandler.h"

namespace orva::opc {

class SOSrvObjectRoot;

struct SOSrvRegisterInfo {
    std::string clsid;
    std::string progId;
    std::string versionIndependentProgId;
    std::string description;
    std::string executablePath;  // empty: the process's own
};

class SOSrvRegistrationSink {
public:
    virtual ~SOSrvRegistrationSink() = default;
    virtual bool registerServer(const SOSrvRegisterInfo& info) = 0;
    virtual bool unregisterServer(const SOSrvRegisterInfo& info) = 0;
    virtual bool registerCategories(const SOSrvRegisterInfo& info) = 0;
    virtual bool unregisterCategories(const SOSrvRegisterInfo& info) = 0;
};

class SOSrvEntry : public SOCmnObject {
public:
    SOSrvEntry();

    // mode 1: out-of-process server. Keeps the CLSID; false for an empty CLSID.
    bool initialize(uint32_t mode, const char* clsid, void* instance, uint32_t coInit);
    // Security settings of the platform's object model; recorded, without effect here.
    void initializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t authnSvc, uint32_t capabilities);
    void setRegisterInfo(const char* progId, const char* versionIndependentProgId, const char* description,
                         const char* executablePath);
    const SOSrvRegisterInfo& getRegisterInfo() const noexcept { return registerInfo_; }

    // Identity reported to clients.
    void setVendorInfo(std::string vendor) { vendor_ = std::move(vendor); }
    const std::string& getVendorInfo() const noexcept { return vendor_; }
    void setVersionInfo(uint16_t major, uint16_t minor, uint16_t build);
    uint16_t getMajorVersion() const noexcept { return major_; }
    uint16_t getMinorVersion() const noexcept { return minor_; }
    uint16_t getBuildNumber() const noexcept { return build_; }
    // A byte of server options; recorded, without effect here.
    void setOptionByte(uint8_t option) noexcept { optionByte_ = option; }
    uint8_t getOptionByte() const noexcept { return optionByte_; }

    void setRegistrationSink(std::shared_ptr<SOSrvRegistrationSink> sink);
    bool registerServer();
    bool unregisterServer();
    bool registerCategories();
    bool unregisterCategories();

    // Takes a reference on the handler (null removes it).
    void setEventHandler(SOSrvEventHandler* handler);
    SOCmnPointer<SOSrvEventHandler> getEventHandler() const;

    // Counted.
    SOCmnPointer<SOSrvObjectRoot> getObjectRoot() const;
    SOCmnEventPool& getEventPool() noexcept { return eventPool_; }

protected:
    ~SOSrvEntry() override;
    mutable std::mutex entryMutex_;
    SOCmnPointer<SOSrvObjectRoot> objectRoot_;

private:
    std::shared_ptr<SOSrvRegistrationSink> currentRegistrationSink() const;

    SOSrvRegisterInfo registerInfo_;
    std::string vendor_;
    uint16_t major_ = 0, minor_ = 0, build_ = 0;
    uint8_t optionByte_ = 0;
    uint32_t security_[4] = {};
    std::shared_ptr<SOSrvRegistrationSink> registrationSink_;
    SOCmnPointer<SOSrvEventHandler> eventHandler_;
    SOCmnEventPool eventPool_;
};

}  // namespace orva::opc
