#pragma once
// An editor model and a server's loading set-up side by side: the editor saves its
// configuration to a file, the server's loader reads that file, and both sides are walked into
// one sorted listing each of PLCs, branches and tags with their fields.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/AccessRights.h"
#include "config/DataTypes.h"
#include "core/ConfigLoader.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"
#include "editor/EditorModel.h"
#include "opc/SODaSEntry.h"

namespace orva::editor::crossing {

using config::ServerKind;

class QuietUi final : public UserInterface {
public:
    std::vector<std::string> messages;
    std::string clipboard;
    void message(std::string_view text, Icon) override { messages.emplace_back(text); }
    Answer question(std::string_view, Buttons) override { return Answer::Yes; }
    std::string clipboardText() override { return clipboard; }
    void clearClipboard() override { clipboard.clear(); }
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    bool confirmReplace(const ReplaceTable&) override { return true; }
};

class RecordingOwner final : public core::OwnerWindow {
public:
    std::vector<std::string> warnings;
    void showWarning(std::string_view text, std::string_view) override { warnings.emplace_back(text); }
};

class RecordingTransport final : public core::TransportSettings {
public:
    std::vector<std::string> interfaceNames;
    std::vector<core::SerialSettings> serial;
    void setInterfaceName(const std::string& name) override { interfaceNames.push_back(name); }
    void openSerialPort(const core::SerialSettings& s) override { serial.push_back(s); }
};

inline std::string tagLine(const std::string& itemId, VarType type, uint32_t rights,
                           const std::string& comment, int block, int byte, int bit, int elements)
{
    return "tag " + itemId + " type=" + std::to_string(type) + " rights=" + std::to_string(rights) +
           " db=" + std::to_string(block) + " byte=" + std::to_string(byte) + " bit=" + std::to_string(bit) +
           " n=" + std::to_string(elements) + " comment=" + comment;
}

class EditorToServer : public ::testing::Test {
protected:
    EditorToServer()
        : dir_(std::filesystem::temp_directory_path() /
               ("kalder-crossing-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()))),
          entry_(new opc::SODaSEntry),
          root_(entry_->getNameSpaceRoot())
    {
        std::filesystem::create_directories(dir_);
        core::configureNameSpaceRoot(*root_);
    }
    ~EditorToServer() override
    {
        release();
        std::filesystem::remove_all(dir_);
    }

    // Lets the server side go and starts a fresh one, for a test that loads several files.
    void reset()
    {
        release();
        entry_.reset(new opc::SODaSEntry);
        root_ = entry_->getNameSpaceRoot();
        core::configureNameSpaceRoot(*root_);
        owner_.warnings.clear();
        transport_ = RecordingTransport();
    }

    void release()
    {
        entry_->terminate();
        plcs_.clear();
    }

    // Where saveAndLoad writes the configuration.
    std::string savedPath() const
    {
        return (dir_ / (std::string(config::serverKindName(model.gsServerType)) + ".xml")).string();
    }

    // Saves the editor's configuration to a file and loads that file as the server would.
    void saveAndLoad()
    {
        const std::string path = savedPath();
        ASSERT_TRUE(model.CreateXML(path)) << (ui.messages.empty() ? "" : ui.messages.back());
        const core::LoadContext context{model.gsServerType, plcs_, queues_, owner_, &transport_};
        ASSERT_TRUE(core::loadConfiguration(context, path, *root_));
        EXPECT_EQ(owner_.warnings, std::vector<std::string>{});
    }

    // Both sides list the same PLCs, branches and tags, and no item of the editor is missing.
    void expectSameConfiguration() const
    {
        const auto published = serverListing();
        EXPECT_EQ(published, editorListing());
        const auto tags = std::count_if(published.begin(), published.end(),
                                        [](const std::string& line) { return line.starts_with("tag "); });
        std::size_t redundant = 0;
        for (const auto& plc : model.gcolPlc)
            redundant += plc.value->bRedundant ? 1 : 0;
        EXPECT_EQ(static_cast<std::size_t>(tags), model.gcolItems.size() + redundant);
    }

    // Every PLC, branch and tag of the editor's tree, as the server should publish it.
    std::vector<std::string> editorListing() const
    {
        std::vector<std::string> lines;
        for (const TreeNode* node : model.tree.nodesInOrder()) {
            if (node->kind() != NodeKind::Item) {
                lines.push_back("branch " + node->key());
                const auto plc = node->kind() == NodeKind::Plc ? model.gcolPlc.get(node->key()) : nullptr;
                if (plc && plc->bRedundant)
                    lines.push_back(tagLine(node->key() + ".ServerRedundancyState", VT_I2, 1,
                                            "Redundancy Master Slave State", 0, 0, 0, 0));
                continue;
            }
            const auto item = model.gcolItems.get(node->key());
            if (!item) {
                lines.push_back("missing item " + node->key());
                continue;
            }
            lines.push_back(tagLine(node->key(), config::dataTypeFromName(item->GetVtType()),
                                    config::accessRightsFromName(item->sAccessRight()), item->sComment(),
                                    item->nBlock(), item->nAddress(), item->nBitNumber(), item->nElements()));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    std::vector<std::string> serverListing() const
    {
        std::vector<std::string> lines;
        walk(*root_, lines);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    static void walk(const opc::SODaSNode& node, std::vector<std::string>& lines)
    {
        for (const auto& branch : node.getBranches()) {
            lines.push_back("branch " + branch->getItemID());
            walk(*branch, lines);
        }
        for (const auto& leaf : node.getLeaves()) {
            const auto* tag = dynamic_cast<const core::S7Tag*>(leaf.get());
            if (tag == nullptr) {
                lines.push_back("foreign leaf " + leaf->getItemID());
                continue;
            }
            lines.push_back(tagLine(tag->getItemID(), tag->getNativeDatatype(), tag->getAccessRights(),
                                    tag->getDescription(), tag->dataBlock, tag->dataByte, tag->dataBit,
                                    tag->elements));
        }
    }

    // Adds one item of every data type below `parent`, with a bit for boolean types and a length
    // for types with elements.
    void addEveryType(const std::string& parent, int block)
    {
        int byte = 0;
        for (const auto& type : config::offeredDataTypes()) {
            ItemForm form;
            std::string name(type.vtName);
            std::replace(name.begin(), name.end(), ' ', '_');
            form.name = name;
            EditorModel::changeDataType(form, type.displayName);
            form.address = std::to_string(byte);
            form.block = std::to_string(block);
            if (form.bitEnabled) form.bit = "5";
            if (form.elementsEnabled) form.elements = "4";
            form.comment = "comment of " + form.name;
            form.accessRight = byte % 3 == 0 ? "READ" : byte % 3 == 1 ? "WRITE" : "READWRITE";
            ASSERT_TRUE(model.AddItemToColl(parent, form, false).done) << form.name;
            byte += 8;
        }
    }

    void addPlc(const PlcForm& form) { ASSERT_TRUE(model.applyPlcForm("", form, false).done) << form.name; }
    void addBranch(const std::string& parent, const std::string& name)
    {
        ASSERT_TRUE(model.addBranch(parent, name).done) << name;
    }
    void addItem(const std::string& parent, const std::string& name, const std::string& comment = {})
    {
        ItemForm form;
        form.name = name;
        form.address = "2";
        form.block = "7";
        form.comment = comment;
        ASSERT_TRUE(model.AddItemToColl(parent, form, false).done) << name;
    }

    // A tree with nested, empty and deep branches, items at every level and every data type.
    void buildTree(const std::string& plc)
    {
        addItem(plc, "Top");
        addBranch(plc, "Drives");
        addEveryType(plc + ".Drives", 10);
        addBranch(plc + ".Drives", "Inner");
        addBranch(plc + ".Drives.Inner", "Deeper");
        addItem(plc + ".Drives.Inner.Deeper", "Deep");
        addBranch(plc + ".Drives", "Empty");
        addBranch(plc, "Process");
        addItem(plc + ".Process", "Top", "same name as the PLC's item, one level down");
        // The largest values the editor's dialog accepts.
        ItemForm edge;
        edge.name = "Edge";
        EditorModel::changeDataType(edge, "boolean array");
        edge.address = "65535";
        edge.block = "65535";
        edge.bit = "15";
        edge.elements = "65535";
        ASSERT_TRUE(model.AddItemToColl(plc + ".Process", edge, false).done);
    }

    QuietUi ui;
    EditorModel model{ui};
    core::PlcList plcs_;
    RecordingOwner owner_;
    RecordingTransport transport_;

private:
    std::filesystem::path dir_;
    opc::SOCmnPointer<opc::SODaSEntry> entry_;
    opc::SOCmnPointer<opc::SODaSNameSpaceRoot> root_;
    std::shared_ptr<core::CoreQueues> queues_ = std::make_shared<core::CoreQueues>();

protected:
    const opc::SODaSNameSpaceRoot& root() const { return *root_; }
};

}  // namespace orva::editor::crossing
