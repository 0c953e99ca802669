#pragma once
// A server's loading set-up for tests: entry, namespace root, PLC list, queues, and an owner
// window and transport that record what they are given.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ConfigLoader.h"
#include "core/S7Tag.h"
#include "opc/SODaSEntry.h"

namespace orva::core::test {

struct Warning {
    std::string text;
    std::string caption;
};

class RecordingOwner : public OwnerWindow {
public:
    std::vector<Warning> warnings;
    void showWarning(std::string_view title, std::string_view text) override
    {
        warnings.push_back({std::string(text), std::string(title)});
    }
};

class RecordingTransport : public TransportSettings {
public:
    std::vector<std::string> interfaceNames;
    std::vector<SerialSettings> serial;
    void setInterfaceName(const std::string& name) override { interfaceNames.push_back(name); }
    void openSerialPort(const SerialSettings& s) override { serial.push_back(s); }
};

class LoaderFixture : public ::testing::Test {
protected:
    LoaderFixture() : entry(new opc::SODaSEntry), root(entry->getNameSpaceRoot())
    {
        configureNameSpaceRoot(*root);
    }
    ~LoaderFixture() override
    {
        entry->terminate();
        plcs.clear();
    }

    bool load(config::ServerKind kind, std::string_view xml)
    {
        const LoadContext context{kind, plcs, queues, owner, &transport};
        return loadConfigurationFromMemory(context, xml, *root);
    }

    // Names of the children of the branch named by id ("" for the root): branches get a "/".
    std::vector<std::string> children(std::string_view id) const
    {
        std::vector<std::string> names;
        auto node = root->findNode(id);
        if (!node) return {"<no such branch>"};
        for (const auto& b : node->getBranches())
            names.push_back(b->getName() + "/");
        for (const auto& l : node->getLeaves())
            names.push_back(l->getName());
        return names;
    }

    std::vector<std::string> warningTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& w : owner.warnings)
            texts.push_back(w.text);
        return texts;
    }

    opc::SOCmnPointer<opc::SODaSEntry> entry;
    opc::SOCmnPointer<opc::SODaSNameSpaceRoot> root;
    PlcList plcs;
    std::shared_ptr<CoreQueues> queues = std::make_shared<CoreQueues>();
    RecordingOwner owner;
    RecordingTransport transport;
};

// A tag element from its fields, as the editor writes them.
inline std::string tagXml(const std::string& name, const std::string& type, int byte = 0, int block = 1,
                          const std::string& access = "READWRITE", const std::string& extra = "")
{
    return "<tag><name>" + name + "</name><comment>c " + name + "</comment><databyte>" +
           std::to_string(byte) + "</databyte><datatype>" + type + "</datatype><datablock>" +
           std::to_string(block) + "</datablock><accessrights>" + access + "</accessrights>" + extra +
           "</tag>";
}

// The S7 tag behind a namespace item.
inline S7Tag* s7(const opc::SOCmnPointer<opc::SODaSItemTag>& tag)
{
    return dynamic_cast<S7Tag*>(tag.get());
}

inline std::string tornelFile(const std::string& plcs)
{
    return "<?xml version=\"1.0\" "
           "encoding=\"ISO-8859-1\"?>\r\n<ORVATcpIpS7Cfg>\r\n\t<OPC_DA>\r\n\t\t<INTERFACE "
           "name=\"SAPIS7\">" +
           plcs + "</INTERFACE>\r\n\t</OPC_DA>\r\n</ORVATcpIpS7Cfg>\r\n";
}

}  // namespace orva::core::test
