#pragma once
// Tags: the leaves of the address space that clients add as items. A tag carries its native
// data type, access rights, device IO mode, properties (101 is the item description) and its
// value cache. Client reads from the device and all client writes are handed to handleRequest.

#include <cstdint>
#include <string>
#include <vector>

#include "opc/SOCmnVariant.h"
#include "opc/SODaSCache.h"
#include "opc/SODaSNode.h"

namespace orva::opc {

class SODaSRequest;

inline constexpr uint32_t SODAS_PROPERTY_ITEM_DESCRIPTION = 101;

// Device IO mode 1: client device reads and writes go to the tag's handleRequest. Mode 0: the
// toolkit answers device reads from the cache and stores writes in the cache itself.
inline constexpr uint8_t SODASTAG_DEVICEIO_DIRECT = 0;
inline constexpr uint8_t SODASTAG_DEVICEIO_QUEUE = 1;

class SODaSProperty : public SOCmnObject {
public:
    explicit SODaSProperty(uint32_t propertyId) : SOCmnObject(SOCMNOBJECT_TYPE_PROPERTY), id_(propertyId) {}
    uint32_t getPropertyId() const noexcept { return id_; }
    void setConstantValue(const SOCmnVariant& value) { value_ = value; }
    const SOCmnVariant& getConstantValue() const noexcept { return value_; }

private:
    uint32_t id_;
    SOCmnVariant value_;
};

class SODaSItemTag : public SODaSElement {
public:
    SODaSItemTag();

    VarType getNativeDatatype() const noexcept { return nativeDatatype_; }
    void setNativeDatatype(VarType type);
    uint32_t getAccessRights() const noexcept { return accessRights_; }
    void setAccessRights(uint32_t rights) noexcept { accessRights_ = rights; }
    uint8_t getDeviceIOMode() const noexcept { return deviceIOMode_; }
    void setDeviceIOMode(uint8_t mode) noexcept { deviceIOMode_ = mode; }

    // The cache (counted); setCache replaces it, taking over the caller's reference.
    SOCmnPointer<SODaSCache> getCache() const;
    void setCache(SODaSCache* cache);

    // Takes a reference on the property; a property with the same id is replaced.
    void addProperty(SODaSProperty* property);
    SOCmnPointer<SODaSProperty> getProperty(uint32_t propertyId) const;
    // Property 101 as UTF-8, empty when absent.
    std::string getDescription() const;

    // Called by the toolkit, on the client's thread, for every device read and every write of a
    // tag in device IO mode 1. Whoever handles the request must complete it (now or later);
    // the toolkit completes it with E_ABORT should the last reference go without completion.
    // The default answers reads from the cache and stores writes in the cache.
    virtual void handleRequest(SODaSRequest& request);

protected:
    ~SODaSItemTag() override = default;

private:
    SOCmnPointer<SODaSCache> cache_;
    std::vector<SOCmnPointer<SODaSProperty>> properties_;
    uint32_t accessRights_ = OPC_READABLE | OPC_WRITEABLE;
    VarType nativeDatatype_ = 0;
    uint8_t deviceIOMode_ = SODASTAG_DEVICEIO_DIRECT;
};

class SODaSTag : public SODaSItemTag {
public:
    SODaSTag() = default;

protected:
    ~SODaSTag() override = default;
};

}  // namespace orva::opc
