// A configuration built and saved in the editor is what a server publishes after loading it:
// the same PLCs with their addressing, the same branches and the same tags with their fields.
// Both sides are walked into one sorted listing each, and the listings must be equal.

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

using namespace orva;
using namespace orva::editor;
using config::ServerKind;

namespace {

class QuietUi final : public UserInterface {
public:
    std::vector<std::string> messages;
    void message(std::string_view text, Icon) override { messages.emplace_back(text); }
    Answer question(std::string_view, Buttons) override { return Answer::Yes; }
    std::string clipboardText() override { return {}; }
    void clearClipboard() override {}
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

std::string tagLine(const std::string& itemId, VarType type, uint32_t rights, const std::string& comment,
                    int block, int byte, int bit, int elements)
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
          entry_(new SODaSEntry),
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
        entry_.reset(new SODaSEntry);
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

    // Saves the editor's configuration to a file and loads that file as the server would.
    void saveAndLoad()
    {
        const std::string path =
            (dir_ / (std::string(config::serverKindName(model.gsServerType)) + ".xml")).string();
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

    static void walk(const SODaSNode& node, std::vector<std::string>& lines)
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
    SOCmnPointer<SODaSEntry> entry_;
    SOCmnPointer<SODaSNameSpaceRoot> root_;
    std::shared_ptr<core::CoreQueues> queues_ = std::make_shared<core::CoreQueues>();

protected:
    const SODaSNameSpaceRoot& root() const { return *root_; }
};

TEST_F(EditorToServer, TornelPlainAndRedundantPlcsWithSourcesAndEveryType)
{
    model.newConfiguration(ServerKind::Tornel,
                           (std::filesystem::temp_directory_path() / "Tornel.xml").string());
    PlcForm plain = model.newPlcForm();
    plain.name = "Line1";
    plain.address = "127.0.0.1:10102";
    plain.slot = "3";
    plain.rack = "1";
    addPlc(plain);

    PlcForm redundant = model.newPlcForm();
    redundant.name = "Line2";
    redundant.address = "10.0.0.2";
    redundant.slot = "2";
    redundant.rack = "0";
    redundant.source = "10.0.0.9";
    RedundancyForm red;
    red.chkRed = true;
    red.address = "10.0.0.3";
    red.source = "10.0.0.10";
    red.block = "100";
    red.statusByte = "4";
    red.statusBit = "3";
    red.cmdByte = "6";
    red.cmdBit = "1";
    ASSERT_TRUE(model.applyRedundancy(red, redundant));
    addPlc(redundant);

    PlcForm halfSourced = model.newPlcForm();
    halfSourced.name = "Line3";
    halfSourced.address = "10.0.0.4";
    RedundancyForm noSourceB = red;
    noSourceB.source.clear();
    noSourceB.address = "10.0.0.5";
    ASSERT_TRUE(model.applyRedundancy(noSourceB, halfSourced));
    addPlc(halfSourced);

    buildTree("Line1");
    buildTree("Line2");
    saveAndLoad();

    expectSameConfiguration();
    ASSERT_EQ(plcs_.size(), 3u);
    const core::S7Plc& line1 = *plcs_.at(0);
    EXPECT_EQ(line1.name, "Line1");
    EXPECT_EQ(line1.address, "127.0.0.1:10102");
    EXPECT_EQ(line1.cpuSlot, 3);
    EXPECT_EQ(line1.rackNr, 1);
    EXPECT_FALSE(line1.source.has_value());
    EXPECT_FALSE(line1.isRedundant());

    const core::S7Plc& line2 = *plcs_.at(1);
    EXPECT_EQ(line2.name, "Line2");
    EXPECT_EQ(line2.address, "10.0.0.2");
    EXPECT_EQ(line2.source, "10.0.0.9");
    ASSERT_TRUE(line2.isRedundant());
    EXPECT_EQ(line2.addressB, "10.0.0.3");
    EXPECT_EQ(line2.sourceB, "10.0.0.10");
    ASSERT_TRUE(line2.redundancyStatusTag);
    EXPECT_EQ(line2.redundancyStatusTag->dataBlock, 100);
    EXPECT_EQ(line2.redundancyStatusTag->dataByte, 4);
    EXPECT_EQ(line2.redundancyStatusTag->dataBit, 3);
    ASSERT_TRUE(line2.redundancyCommandTag);
    EXPECT_EQ(line2.redundancyCommandTag->dataBlock, 100);
    EXPECT_EQ(line2.redundancyCommandTag->dataByte, 6);
    EXPECT_EQ(line2.redundancyCommandTag->dataBit, 1);

    const core::S7Plc& line3 = *plcs_.at(2);
    EXPECT_EQ(line3.name, "Line3");
    ASSERT_TRUE(line3.isRedundant());
    EXPECT_EQ(line3.addressB, "10.0.0.5");
    EXPECT_FALSE(line3.sourceB.has_value());
    EXPECT_FALSE(line3.source.has_value());
}

TEST_F(EditorToServer, VardelHandsItsInterfaceToTheTransport)
{
    model.newConfiguration(ServerKind::Vardel, "Vardel.xml");
    SettingsForm settings = model.settingsForm();
    settings.iface = "CP_L2_1:";
    ASSERT_TRUE(model.applySettings(settings));
    for (const char* name : {"S7a", "S7b"}) {
        PlcForm form = model.newPlcForm();
        form.name = name;
        addPlc(form);
    }
    buildTree("S7b");
    saveAndLoad();

    expectSameConfiguration();
    EXPECT_EQ(transport_.interfaceNames, std::vector<std::string>{"CP_L2_1:"});
    ASSERT_EQ(plcs_.size(), 2u);
    EXPECT_EQ(plcs_.at(0)->name, "S7a");
    EXPECT_EQ(plcs_.at(1)->name, "S7b");
}

TEST_F(EditorToServer, LorvikOpensItsSerialPortWithTheEditorsSettings)
{
    model.newConfiguration(ServerKind::Lorvik, "Lorvik.xml");
    SettingsForm settings = model.settingsForm();
    settings.port = "/dev/ttyUSB1";
    settings.baud = "19200";
    settings.parity = "EVEN";
    settings.dataBits = "7";
    settings.stopBits = "2";
    settings.master = "3";
    ASSERT_TRUE(model.applySettings(settings));
    PlcForm form = model.newPlcForm();
    form.name = "Mpi1";
    form.address = "4";
    form.slot = "3";
    addPlc(form);
    buildTree("Mpi1");
    saveAndLoad();

    expectSameConfiguration();
    ASSERT_EQ(transport_.serial.size(), 1u);
    const core::SerialSettings& serial = transport_.serial[0];
    EXPECT_EQ(serial.com, "/dev/ttyUSB1");
    EXPECT_EQ(serial.baudrate, 19200u);
    EXPECT_EQ(serial.parity, 2);
    EXPECT_EQ(serial.databits, 7);
    EXPECT_EQ(serial.stopbits, 2);
    EXPECT_EQ(serial.master, 3);
    ASSERT_EQ(plcs_.size(), 1u);
    EXPECT_EQ(plcs_.at(0)->mpiAddress, 4);
    EXPECT_EQ(plcs_.at(0)->cpuSlot, 3);
}

TEST_F(EditorToServer, PennatPlcsWithMpiAddressesAndAnEmptyPlc)
{
    model.newConfiguration(ServerKind::Pennat, "Pennat.xml");
    PlcForm first = model.newPlcForm();
    first.name = "M1";
    first.address = "12";
    first.slot = "4";
    addPlc(first);
    // The proposed default names hold spaces, which the server publishes as they are.
    PlcForm empty = model.newPlcForm();
    ASSERT_EQ(empty.name, "New Plc 1");
    addPlc(empty);
    buildTree("M1");
    ItemForm item = model.newItemForm();
    item.address = "1";
    item.block = "2";
    addItem("M1", item.name);
    saveAndLoad();

    expectSameConfiguration();
    ASSERT_EQ(plcs_.size(), 2u);
    EXPECT_EQ(plcs_.at(0)->mpiAddress, 12);
    EXPECT_EQ(plcs_.at(0)->cpuSlot, 4);
    EXPECT_EQ(plcs_.at(1)->name, "New Plc 1");
    EXPECT_TRUE(root().findTag("M1." + item.name));
    EXPECT_TRUE(transport_.serial.empty()) << "Pennat has no serial settings";
}

// Opening a file in the editor and saving it again turns branch names into upper case; the
// server then publishes the upper-case item IDs, with every tag still there.
TEST_F(EditorToServer, AFileOpenedAndSavedByTheEditorServesUpperCaseBranches)
{
    const std::string original =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<orvatcpips7cfg><OPC_DA><INTERFACE name=\"SAPIS7\">"
        "<PLC name=\"Line1\" address=\"10.0.0.1\" CPUSlot=\"2\" RackNr=\"0\"><tags>"
        "<Drives><tag><name>Speed</name><comment>rpm</comment><databyte>0</databyte>"
        "<datatype>VT_I2</datatype><datablock>10</datablock><accessrights>READWRITE</accessrights></tag>"
        "<Inner><tag><name>Running</name><comment>on</comment><databyte>6</databyte>"
        "<datatype>VT_BOOL</datatype><datablock>10</datablock><accessrights>READ</accessrights>"
        "<databit>3</databit></tag></Inner></Drives>"
        "<tag><name>Level</name><comment>m</comment><databyte>8</databyte><datatype>VT_R4</datatype>"
        "<datablock>11</datablock><accessrights>READ</accessrights></tag>"
        "</tags></PLC></INTERFACE></OPC_DA></orvatcpips7cfg>";
    ASSERT_TRUE(model.importXmlBytes(original));
    ASSERT_EQ(model.gsServerType, ServerKind::Tornel);
    saveAndLoad();

    expectSameConfiguration();
    EXPECT_EQ(serverListing(),
              (std::vector<std::string>{"branch Line1", "branch Line1.DRIVES", "branch Line1.DRIVES.INNER",
                                        tagLine("Line1.DRIVES.INNER.Running", VT_BOOL, 1, "on", 10, 6, 3, 0),
                                        tagLine("Line1.DRIVES.Speed", VT_I2, 3, "rpm", 10, 0, 0, 0),
                                        tagLine("Line1.Level", VT_R4, 1, "m", 11, 8, 0, 0)}));
}

// Comments may hold markup characters and letters of any language; the server describes its
// tags with the very same text. Branch names with Latin-1 letters keep them.
TEST_F(EditorToServer, CommentsAndNamesKeepTheirCharacters)
{
    model.newConfiguration(ServerKind::Vardel, "Vardel.xml");
    PlcForm form = model.newPlcForm();
    form.name = "Anlage";
    addPlc(form);
    addBranch("Anlage",
              "\xc3\x96"
              "fen");  // "Öfen"
    addItem(
        "Anlage.\xc3\x96"
        "fen",
        "T1", "Temp\xc3\xa9rature <5 & >2 \"quoted\" \xce\xa9 \xe2\x82\xac");
    addItem("Anlage", "T2", "  leading and trailing spaces  ");
    addItem("Anlage", "T4", "line one\r\nline two\ttabbed");
    saveAndLoad();

    expectSameConfiguration();
    const auto t1 = root().findTag(
        "Anlage.\xc3\x96"
        "fen.T1");
    ASSERT_TRUE(t1);
    EXPECT_EQ(t1->getDescription(), "Temp\xc3\xa9rature <5 & >2 \"quoted\" \xce\xa9 \xe2\x82\xac");
}

// A PLC renamed in the editor, a branch dragged elsewhere and items pasted: the server publishes
// the configuration as the editor shows it after these edits.
TEST_F(EditorToServer, EditedTreesArriveAsTheEditorShowsThem)
{
    model.newConfiguration(ServerKind::Pennat, "Pennat.xml");
    PlcForm form = model.newPlcForm();
    form.name = "P";
    addPlc(form);
    buildTree("P");
    PlcForm second = model.newPlcForm();
    second.name = "Q";
    addPlc(second);
    addBranch("Q", "Target");

    PlcForm renamed = model.plcFormFor("P");
    renamed.name = "P2";
    ASSERT_TRUE(model.applyPlcForm("P", renamed, true).done);
    ASSERT_TRUE(model.dragDrop("P2.Drives.Inner", "Q.Target", false).done);
    ASSERT_TRUE(model.dragDrop("P2.Process", "Q", true).done);
    Selection selection;
    selection.node = "P2.Top";
    model.copy(selection);
    ASSERT_TRUE(model.paste("P2.Drives").done);
    ASSERT_TRUE(model.paste("P2.Drives").done);
    saveAndLoad();

    expectSameConfiguration();
    EXPECT_TRUE(root().findTag("Q.Target.Inner.Deeper.Deep"));
    EXPECT_FALSE(root().findNode("P2.Drives.Inner"));
    EXPECT_TRUE(root().findTag("P2.Process.Top"));
    EXPECT_TRUE(root().findTag("Q.Process.Top"));
    EXPECT_TRUE(root().findTag("P2.Drives.Top"));
    EXPECT_TRUE(root().findTag("P2.Drives.Top_2"));
    EXPECT_EQ(plcs_.at(0)->name, "P2");
}

// The editor's reference files of every kind and the shipped sample, opened and saved by the
// editor, load into the server with everything the editor shows.
TEST_F(EditorToServer, ReferenceFilesOfEveryKindCrossOver)
{
    const char* fromEnvironment = std::getenv("ORVA_SOURCE_DIR");
    const std::filesystem::path source(fromEnvironment != nullptr ? fromEnvironment : ORVA_TEST_SOURCE_DIR);
    for (const auto& file :
         {source / "editor/model/tests/data/tornel_all.xml", source / "editor/model/tests/data/vardel.xml",
          source / "editor/model/tests/data/lorvik.xml", source / "editor/model/tests/data/pennat.xml",
          source / "samples/Tornel.xml"}) {
        SCOPED_TRACE(file.string());
        ASSERT_TRUE(model.openConfiguration(file.string()));
        ASSERT_GT(model.gcolPlc.size(), 0u);
        reset();
        saveAndLoad();
        expectSameConfiguration();
    }
}

}  // namespace
