#pragma once
// A test fixture's view of its PLC "P": one 100 ms group with the named tags subscribed, and the
// cached values and qualities the tests look at.

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "TornelServer.h"

namespace orva::e2e {

class PolledGroup {
protected:
    // Subscribes P.<name> for every name in one 100 ms group of the server's client.
    void subscribe(TornelServer& server, std::initializer_list<const char*> names)
    {
        group = server.client().addGroup("poll", 100);
        for (const char* name : names) {
            const opc::client::AddItemResult added = group->addItem(std::string("P.") + name);
            ASSERT_EQ(added.result, opc::S_OK) << name;
            handles[name] = added.handle;
        }
    }
    opc::client::RequestResult cached(const std::string& name) { return group->readCache(handles.at(name)); }
    bool allGood()
    {
        for (const auto& [name, handle] : handles)
            if (group->readCache(handle).quality != opc::OPC_QUALITY_GOOD) return false;
        return true;
    }

    std::shared_ptr<opc::client::Group> group;
    std::map<std::string, opc::client::ItemHandle> handles;
};

}  // namespace orva::e2e
