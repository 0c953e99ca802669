// The configuration file the editor writes, compared byte for byte with files spelled out by hand.
#include "TestModel.h"
#include "config/DataTypes.h"

namespace orva::editor::test {
namespace {

class WriterTest : public ModelTest {
protected:
    void expectFile(const std::string& name)
    {
        EXPECT_EQ(written(model), readBytes(dataFile(name)));
        EXPECT_TRUE(ui.messages.empty()) << ui.lastMessage();
    }
};

void buildTornel(EditorModel& model)
{
    model.newConfiguration(ServerKind::Tornel, "/tmp/Tornel.xml");
    PlcForm line1 = model.newPlcForm();
    line1.name = "Line1";
    line1.address = "10.0.0.1";
    line1.source = "10.0.0.100";
    ASSERT_TRUE(model.applyRedundancy({true, "10.0.0.2", " 10.0.0.101 ", "100", "4", "3", "6", "1"}, line1));
    ASSERT_TRUE(model.applyPlcForm("", line1, false).done);
    addBranch(model, "Line1", "DRIVES");
    addBranch(model, "Line1.DRIVES", "MOTOR1");
    ASSERT_TRUE(model
                    .AddItemToColl("Line1.DRIVES.MOTOR1",
                                   itemForm("Speed", "signed 16 bit", 0, 10, 0, 0, "Motor speed in rpm"),
                                   false)
                    .done);
    addBranch(model, "Line1.DRIVES", "EMPTY");
    ASSERT_TRUE(model
                    .AddItemToColl(
                        "Line1.DRIVES",
                        itemForm("Running", "boolean", 2, 10, 5, 0, "Temp\xC3\xA9rature OK", "READ"), false)
                    .done);
    addBranch(model, "Line1", "TYPES");
    const char* names[] = {"b1",  "u8",   "u16",  "u32", "i8",   "i16",  "i32", "r4", "ab",
                           "au8", "au16", "au32", "ai8", "ai16", "ai32", "ar4", "str"};
    int i = 0;
    for (const auto& type : config::offeredDataTypes()) {
        const std::string display(type.displayName);
        ItemForm form = itemForm(names[i], display, 4 * i, 20, 7, i + 1, "", "WRITE");
        ASSERT_TRUE(model.AddItemToColl("Line1.TYPES", form, false).done) << display;
        ++i;
    }
    ASSERT_TRUE(model
                    .AddItemToColl(
                        "Line1",
                        itemForm("Top", "unsigned 32 bit", 65535, 65535, 0, 0, "directly below tags", "READ"),
                        false)
                    .done);
    PlcForm line2 = model.newPlcForm();
    line2.name = "Line2";
    line2.address = "10.0.1.1";
    line2.slot = "3";
    line2.rack = "1";
    ASSERT_TRUE(model.applyRedundancy({true, "10.0.1.2", "", "0", "0", "0", "0", "0"}, line2));
    ASSERT_TRUE(model.applyPlcForm("", line2, false).done);
    addPlc(model, "Line3");
    ASSERT_TRUE(
        model.AddItemToColl("Line3", itemForm("Alone", "unsigned 8 bit", 1, 3, 0, 0, "", "READ"), false)
            .done);
}

TEST_F(WriterTest, TornelWithRedundancySourcesNestedEmptyBranchesAndEveryType)
{
    buildTornel(model);
    expectFile("tornel_all.xml");
}

TEST_F(WriterTest, VardelPlcLineCarriesTheNameOnly)
{
    model.newConfiguration(ServerKind::Vardel, "/tmp/Vardel.xml");
    SettingsForm settings = model.settingsForm();
    settings.iface = "  CP_L2_1:  ";
    ASSERT_TRUE(model.applySettings(settings));
    PlcForm press = model.newPlcForm();
    press.name = "Press";
    press.address = "10.1.1.1";
    press.slot = "9";
    press.rack = "4";
    ASSERT_TRUE(model.applyPlcForm("", press, false).done);
    addBranch(model, "Press", "AXES");
    ASSERT_TRUE(
        model.AddItemToColl("Press.AXES", itemForm("Position", "32 bit float", 0, 5, 0, 0, "", "READ"), false)
            .done);
    expectFile("vardel.xml");
}

TEST_F(WriterTest, LorvikWritesItsSettingsLine)
{
    model.newConfiguration(ServerKind::Lorvik, "/tmp/Lorvik.xml");
    EXPECT_EQ(model.SettingsXmlTag(),
              "\t<SETTINGS com=\"COM1\" master = \"1\" baudrate=\"9600\" parity=\"NO\" stopbits=\"1\" "
              "databits=\"8\"/>");
    ASSERT_TRUE(model.applySettings({"", "COM2", "19200", "EVEN", "7", "2", "0"}));
    PlcForm oven = model.newPlcForm();
    oven.name = "Oven";
    ASSERT_TRUE(model.applyPlcForm("", oven, false).done);
    ASSERT_TRUE(model.AddItemToColl("Oven", itemForm("Heat", "boolean", 0, 7, 0), false).done);
    expectFile("lorvik.xml");
}

TEST_F(WriterTest, PennatHasNeitherSettingsNorInterfaceAndAnEmptyPlc)
{
    model.newConfiguration(ServerKind::Pennat, "/tmp/Pennat.xml");
    PlcForm mixer = model.newPlcForm();
    mixer.name = "Mixer";
    mixer.address = "4";
    mixer.slot = "3";
    ASSERT_TRUE(model.applyPlcForm("", mixer, false).done);
    expectFile("pennat.xml");
}

TEST_F(WriterTest, ItemElementLinesDependOnTheType)
{
    clsItem item;
    item.sName("Valves");
    item.sDataType("boolean array");
    item.nAddress(52);
    item.nBlock(10);
    item.nBitNumber(3);
    item.nElements(12);
    item.sAccessRight("READ");
    EXPECT_EQ(
        item.GetXmlTag(1),
        "\t<tag>\r\n\t\t<name>Valves</name>\r\n\t\t<comment></comment>\r\n\t\t<databyte>52</databyte>\r\n"
        "\t\t<datatype>VT_BOOL ARRAY</datatype>\r\n\t\t<datablock>10</datablock>\r\n"
        "\t\t<accessrights>READ</accessrights>\r\n\t\t<databit>3</databit>\r\n\t\t<elements>12</elements>\r\n"
        "\t</tag>");
    item.sDataType("string");
    EXPECT_EQ(item.GetXmlTag(0).find("databit"), std::string::npos);
    EXPECT_NE(item.GetXmlTag(0).find("<elements>12</elements>"), std::string::npos);
    item.sDataType("unsigned 16 bit");
    EXPECT_EQ(item.GetXmlTag(0).find("databit"), std::string::npos);
    EXPECT_EQ(item.GetXmlTag(0).find("elements"), std::string::npos);
    item.sDataType("no such type");
    EXPECT_NE(item.GetXmlTag(0).find("<datatype></datatype>"), std::string::npos);
}

TEST_F(WriterTest, MarkupAndCharactersBeyondLatin1AreEscaped)
{
    model.newConfiguration(ServerKind::Pennat, "/tmp/Pennat.xml");
    addPlc(model, "P");
    ASSERT_TRUE(
        model
            .AddItemToColl("P", itemForm("T1", "unsigned 8 bit", 0, 1, 0, 0, "a<b & \"c\" > d \xE2\x82\xAC"),
                           false)
            .done);
    const std::string text = written(model);
    EXPECT_NE(text.find("<comment>a&lt;b &amp; \"c\" &gt; d &#8364;</comment>\r\n"), std::string::npos);
}

TEST_F(WriterTest, CreateXmlReplacesAnExistingFileWhole)
{
    TempDir dir;
    const auto path = dir / "Pennat.xml";
    std::ofstream(path) << std::string(100000, 'x');
    model.newConfiguration(ServerKind::Pennat, path.string());
    PlcForm mixer = model.newPlcForm();
    mixer.name = "Mixer";
    mixer.address = "4";
    mixer.slot = "3";
    ASSERT_TRUE(model.applyPlcForm("", mixer, false).done);
    ASSERT_TRUE(model.CreateXML(path.string()));
    EXPECT_EQ(readBytes(path), readBytes(dataFile("pennat.xml")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary file left";
}

TEST_F(WriterTest, CreateXmlIntoAMissingFolderReportsAndKeepsNothing)
{
    TempDir dir;
    model.newConfiguration(ServerKind::Pennat, "x");
    EXPECT_FALSE(model.CreateXML((dir / "missing" / "Pennat.xml").string()));
    EXPECT_EQ(ui.lastMessage(), " Error n. 76  Path not found in CreateXML");
}

TEST_F(WriterTest, AnObjectMissingBehindItsNodeIsReportedInPrintBranch)
{
    TempDir dir;
    const auto path = dir / "Pennat.xml";
    std::ofstream(path) << "previous";
    model.newConfiguration(ServerKind::Pennat, path.string());
    addPlc(model, "P");
    // An item whose node has no object: the tree and the collection disagree.
    model.items.remove("P.X");
    ASSERT_TRUE(model.AddItemToColl("P", itemForm("X", "unsigned 8 bit", 0, 1), false).done);
    model.items.remove("P.X");
    EXPECT_FALSE(model.CreateXML(path.string()));
    EXPECT_EQ(ui.lastMessage(), " Error n. 5  Invalid procedure call or argument in PrintBranch");
    // The rest of the file was still written, as a whole, over the previous one.
    EXPECT_NE(readBytes(path).find("</ORVAMPICfg>\r\n"), std::string::npos);
}

}  // namespace
}  // namespace orva::editor::test
