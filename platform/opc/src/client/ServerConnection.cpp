#include "opc/client/ServerConnection.h"

#include "Sinks.h"
#include "opc/SODaSTag.h"

namespace orva::opc::client {

std::unique_ptr<ServerConnection> ServerConnection::connect(opc::SODaSEntry& entry,
                                                            ShutdownCallback onShutdown, opc::HRESULT* result)
{
    opc::SOCmnPointer<opc::SODaSServer> server = entry.connectServer(result);
    if (!server) return nullptr;
    auto state = std::make_shared<ConnectionState>();
    if (onShutdown) server->setShutdownSink(std::make_shared<ShutdownSink>(state, std::move(onShutdown)));
    return std::unique_ptr<ServerConnection>(
        new ServerConnection(opc::shareRef(&entry), std::move(server), state));
}

ServerConnection::ServerConnection(opc::SOCmnPointer<opc::SODaSEntry> entry,
                                   opc::SOCmnPointer<opc::SODaSServer> server,
                                   std::shared_ptr<ConnectionState> state)
    : entry_(std::move(entry)), server_(std::move(server)), state_(std::move(state))
{
}

ServerConnection::~ServerConnection()
{
    disconnect();
}

void ServerConnection::disconnect()
{
    state_->close();
    if (server_ && entry_) entry_->disconnectServer(server_.get());
}

bool ServerConnection::isConnected() const
{
    return server_ && entry_ && entry_->getObjectRoot()->getServerList().contains(server_.get());
}

std::shared_ptr<Group> ServerConnection::addGroup(std::string name, uint32_t updateRate, bool active,
                                                  DataChangeCallback onDataChange, opc::HRESULT* result)
{
    if (!isConnected()) {
        if (result) *result = opc::OPC_E_NOTCONNECTED;
        return nullptr;
    }
    opc::SOCmnPointer<opc::SODaSGroup> group = server_->addGroup(name, updateRate, active, result);
    if (!group) return nullptr;
    auto g = std::make_shared<Group>(state_, server_, group, std::move(name));
    if (onDataChange) g->setDataChangeCallback(std::move(onDataChange));
    return g;
}

namespace {

BrowseElement describeLeaf(const opc::SODaSItemTag& tag)
{
    BrowseElement e;
    e.isBranch = false;
    e.name = tag.getName();
    e.itemId = tag.getItemID();
    e.nativeType = tag.getNativeDatatype();
    e.accessRights = tag.getAccessRights();
    e.description = tag.getDescription();
    if (orva::isArrayType(e.nativeType)) {
        if (auto cache = tag.getCache()) {
            opc::SOCmnVariant v;
            if (cache->getValue(v)) e.arrayLength = static_cast<uint32_t>(v.getArrayLength());
        }
    }
    return e;
}

BrowseElement describeBranch(const opc::SODaSNode& node)
{
    BrowseElement e;
    e.isBranch = true;
    e.name = node.getName();
    e.itemId = node.getItemID();
    return e;
}

}  // namespace

opc::HRESULT ServerConnection::browse(std::string_view branchItemId,
                                      std::vector<BrowseElement>& children) const
{
    children.clear();
    if (!isConnected()) return opc::OPC_E_NOTCONNECTED;
    auto root = entry_->getNameSpaceRoot();
    auto node = root->findNode(branchItemId);
    if (!node) return opc::OPC_E_UNKNOWNITEMID;
    for (const auto& b : node->getBranches())
        children.push_back(describeBranch(*b));
    for (const auto& t : node->getLeaves())
        children.push_back(describeLeaf(*t));
    return opc::S_OK;
}

opc::HRESULT ServerConnection::getItemInfo(std::string_view itemId, BrowseElement& element) const
{
    if (!isConnected()) return opc::OPC_E_NOTCONNECTED;
    auto root = entry_->getNameSpaceRoot();
    if (auto tag = root->findTag(itemId)) {
        element = describeLeaf(*tag);
        return opc::S_OK;
    }
    if (!itemId.empty()) {
        if (auto node = root->findNode(itemId)) {
            element = describeBranch(*node);
            return opc::S_OK;
        }
    }
    return opc::OPC_E_UNKNOWNITEMID;
}

}  // namespace orva::opc::client
