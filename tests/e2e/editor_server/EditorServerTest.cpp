// A configuration built and saved in the editor is what a server publishes after loading it:
// the same PLCs with their addressing, the same branches and the same tags with their fields.

#include "CrossingFixture.h"

using namespace orva;
using namespace orva::editor;
using namespace orva::editor::crossing;

namespace {

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
    ASSERT_EQ(model.serverType, ServerKind::Tornel);
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
        ASSERT_GT(model.plcs.size(), 0u);
        reset();
        saveAndLoad();
        expectSameConfiguration();
    }
}

}  // namespace
