#include "opc/SODaSTag.h"

#include "opc/SODaSRequest.h"

namespace orva::opc {

SODaSItemTag::SODaSItemTag() : SODaSElement(SOCMNOBJECT_TYPE_TAG), cache_(new SODaSCache) {}

void SODaSItemTag::setNativeDatatype(VarType type)
{
    nativeDatatype_ = type;
    if (cache_) cache_->setDatatype(type);
}

SOCmnPointer<SODaSCache> SODaSItemTag::getCache() const
{
    return cache_;
}

void SODaSItemTag::setCache(SODaSCache* cache)
{
    cache_.reset(cache);
    if (cache_) cache_->setDatatype(nativeDatatype_);
}

void SODaSItemTag::addProperty(SODaSProperty* property)
{
    if (!property) return;
    property->addRef();
    SOCmnPointer<SODaSProperty> p(property);
    for (auto& existing : properties_) {
        if (existing->getPropertyId() == property->getPropertyId()) {
            existing = p;
            return;
        }
    }
    properties_.push_back(p);
}

SOCmnPointer<SODaSProperty> SODaSItemTag::getProperty(uint32_t propertyId) const
{
    for (const auto& p : properties_)
        if (p->getPropertyId() == propertyId) return p;
    return {};
}

std::string SODaSItemTag::getDescription() const
{
    auto p = getProperty(SODAS_PROPERTY_ITEM_DESCRIPTION);
    return p ? p->getConstantValue().toUtf8() : std::string();
}

void SODaSItemTag::handleRequest(SODaSRequest& request)
{
    const bool store = request.getOperation() == SODaSRequest::write;
    request.complete(S_OK, false, OPC_QUALITY_GOOD, store, true);
}

}  // namespace orva::opc
