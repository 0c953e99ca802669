// Reading configuration files of every kind, and what the importer reports and skips.
#include "TestModel.h"

namespace orva::editor::test {
namespace {

constexpr std::string_view kDecl = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";

class ImportTest : public ModelTest {
protected:
    bool importText(const std::string& xml) { return model.importXmlBytes(std::string(kDecl) + xml); }

    // A Pennat document with the given content inside its only PLC's tags element.
    bool importTags(const std::string& tags)
    {
        return importText("<ORVAMPICfg><OPC_DA><PLC name=\"P\" address=\"2\" CPUSlot=\"2\"><tags>" + tags +
                          "</tags></PLC></OPC_DA></ORVAMPICfg>");
    }

    static std::string tag(const std::string& name, const std::string& extra = {})
    {
        return "<tag><name>" + name +
               "</name><comment/><databyte>0</databyte><datatype>VT_UI1</datatype>"
               "<datablock>1</datablock><accessrights>READ</accessrights>" +
               extra + "</tag>";
    }
};

TEST_F(ImportTest, EveryKindComesBackInTheNormalForm)
{
    for (const char* name : {"tornel_all.xml", "vardel.xml", "lorvik.xml", "pennat.xml"}) {
        ScriptedUi fresh;
        EditorModel reread(fresh);
        ASSERT_TRUE(reread.openConfiguration(dataFile(name).string())) << name;
        EXPECT_TRUE(fresh.messages.empty()) << name << ": " << fresh.lastMessage();
        EXPECT_EQ(written(reread), readBytes(dataFile(name))) << name;
    }
}

TEST_F(ImportTest, TheShippedSampleIsInTheNormalForm)
{
    ASSERT_TRUE(model.openConfiguration((sourceDir() / "samples" / "Tornel.xml").string()));
    EXPECT_EQ(written(model), readBytes(sourceDir() / "samples" / "Tornel.xml"));
}

TEST_F(ImportTest, TornelFieldsAndCounters)
{
    ASSERT_TRUE(model.openConfiguration(dataFile("tornel_all.xml").string()));
    EXPECT_EQ(model.serverType, ServerKind::Tornel);
    EXPECT_TRUE(model.isOpen);
    EXPECT_TRUE(model.isSaved);
    ASSERT_EQ(model.plcs.size(), 3u);
    const auto line1 = model.plcs.get("Line1");
    EXPECT_EQ(line1->sAddress, "10.0.0.1");
    EXPECT_EQ(line1->sSourceMaster, "10.0.0.100");
    EXPECT_TRUE(line1->bRedundant);
    EXPECT_EQ(line1->sSlave, "10.0.0.2");
    EXPECT_EQ(line1->sSourceSlave, "10.0.0.101");
    EXPECT_EQ(line1->nRedBlock, 100);
    EXPECT_EQ(line1->nStatusBit, 3);
    EXPECT_EQ(line1->nCmdByte, 6);
    EXPECT_FALSE(model.plcs.get("Line3")->bRedundant);
    EXPECT_TRUE(model.plcs.get("Line3")->sSourceMaster.empty());

    const auto running = model.items.get("Line1.DRIVES.Running");
    ASSERT_TRUE(running);
    EXPECT_EQ(running->sDataType(), "boolean");
    EXPECT_EQ(running->nBitNumber(), 5);
    EXPECT_EQ(running->sComment(), "Temp\xC3\xA9rature OK");  // read from ISO-8859-1
    const auto str = model.items.get("Line1.TYPES.str");
    EXPECT_EQ(str->nElements(), 17);
    EXPECT_EQ(str->nBitNumber(), 0);

    EXPECT_EQ(model.newItemNumber, static_cast<int32_t>(model.items.size() + 1));
    EXPECT_EQ(model.newBranchNumber, static_cast<int32_t>(model.branches.size() + 1));
    EXPECT_EQ(model.newPlcNumber, 4);
    EXPECT_EQ(model.tree.root().text(), dataFile("tornel_all.xml").string());
    // Tree order is file order.
    const TreeNode* drives = model.tree.find("Line1.DRIVES");
    ASSERT_NE(drives, nullptr);
    std::vector<std::string> children;
    for (const auto& child : drives->children())
        children.push_back(child->text());
    EXPECT_EQ(children, (std::vector<std::string>{"MOTOR1", "EMPTY", "Running"}));
}

TEST_F(ImportTest, RootNamesAreRecognisedWithoutRegardToCase)
{
    ASSERT_TRUE(importText(
        "<orvas7cfg><opc_da><Interface name=\"X\"><plc name=\"A\"/></Interface></opc_da></orvas7cfg>"));
    EXPECT_EQ(model.serverType, ServerKind::Vardel);
    EXPECT_EQ(model.settings.interfaceName, "X");
    EXPECT_TRUE(model.plcs.contains("A"));
}

TEST_F(ImportTest, AnUnknownRootIsNotValid)
{
    EXPECT_FALSE(importText("<ORVAS7Config><OPC_DA/></ORVAS7Config>"));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"The configuration file is not valid."});
    EXPECT_EQ(model.plcs.size(), 0u);
}

TEST_F(ImportTest, SettingsAreReadForEveryKindAndInAnyOrder)
{
    ASSERT_TRUE(
        importText("<ORVAMPICfg><SETTINGS com=\"COM3\" master=\"5\" baudrate=\"38400\" parity=\"ODD\" "
                   "stopbits=\"2\" databits=\"7\"/><OPC_DA/></ORVAMPICfg>"));
    EXPECT_EQ(model.serverType, ServerKind::Pennat);
    EXPECT_EQ(model.settings.comPort, "COM3");
    EXPECT_EQ(model.settings.master, 5);
    EXPECT_EQ(model.settings.baudRate, 38400);
    EXPECT_EQ(model.settings.parity, "ODD");

    ScriptedUi ui2;
    EditorModel lorvik(ui2);
    ASSERT_TRUE(
        lorvik.importXmlBytes("<ORVAMpiECfg><OPC_DA><PLC name=\"A\" address=\"3\" CPUSlot=\"1\"/></OPC_DA>"
                              "<SETTINGS com=\"COM4\" master=\"2\" baudrate=\"2400\" parity=\"NO\" "
                              "stopbits=\"1\" databits=\"8\"/></ORVAMpiECfg>"));
    EXPECT_EQ(lorvik.settings.comPort, "COM4");
    EXPECT_EQ(lorvik.plcs.get("A")->sAddress, "3");
}

TEST_F(ImportTest, PlcsAreTakenFromInterfaceOrDirectlyBelowOpcDaWhateverTheKind)
{
    ASSERT_TRUE(
        importText("<ORVATcpIpS7Cfg><OPC_DA><PLC name=\"A\" address=\"1.2.3.4\"/>"
                   "<INTERFACE name=\"I\"><PLC name=\"B\"/><OTHER name=\"C\"/></INTERFACE></OPC_DA>"
                   "</ORVATcpIpS7Cfg>"));
    EXPECT_EQ(model.plcs.size(), 2u);
    EXPECT_TRUE(model.plcs.contains("A"));
    EXPECT_TRUE(model.plcs.contains("B"));
}

TEST_F(ImportTest, BranchNamesComeBackInUpperCase)
{
    ASSERT_TRUE(importTags("<Motor><Sub>" + tag("Speed") + "</Sub></Motor>"));
    EXPECT_TRUE(model.branches.get("P.MOTOR"));
    EXPECT_EQ(model.branches.get("P.MOTOR")->sName(), "MOTOR");
    EXPECT_EQ(model.items.get("P.MOTOR.SUB.Speed")->sKey(), "P.MOTOR.SUB.Speed");
    EXPECT_EQ(model.tree.find("P.MOTOR.SUB")->text(), "SUB");
    // Element names are compared in upper case: <TAG> and <Tags> are items and tag lists.
    ASSERT_TRUE(
        importText("<ORVAMPICfg><OPC_DA><PLC name=\"Q\"><Tags><TAG><Name>X</Name></TAG></Tags></PLC>"
                   "</OPC_DA></ORVAMPICfg>"));
    EXPECT_TRUE(model.items.contains("Q.X"));
}

TEST_F(ImportTest, OptionalTagChildrenDefaultToZeroAndUnknownTypesToEmpty)
{
    ASSERT_TRUE(importTags("<tag><name>A</name><datatype>VT_R8</datatype><datablock>12abc</datablock></tag>" +
                           tag("B", "<databit>6</databit><elements>4</elements><databit>2</databit>")));
    const auto a = model.items.get("P.A");
    EXPECT_EQ(a->sDataType(), "");
    EXPECT_EQ(a->nBitNumber(), 0);
    EXPECT_EQ(a->nElements(), 0);
    EXPECT_EQ(a->nBlock(), 12);
    EXPECT_EQ(a->sComment(), "");
    const auto b = model.items.get("P.B");
    EXPECT_EQ(b->nBitNumber(), 2) << "a child given twice takes its last value";
    EXPECT_EQ(b->nElements(), 4);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ImportTest, DuplicateTagsAreReportedAndSkippedTheFirstStays)
{
    ASSERT_TRUE(importTags(tag("Level", "<comment>first</comment>") + tag("LEVEL") + tag("Next")));
    EXPECT_EQ(ui.messages, std::vector<std::string>{" Error n. 457  This key is already associated with an "
                                                    "element of this collection in BrowseBranch"});
    EXPECT_EQ(model.items.get("P.Level")->sComment(), "first");
    EXPECT_TRUE(model.items.contains("P.Next"));
    EXPECT_EQ(model.tree.find("P")->childCount(), 2u);
}

TEST_F(ImportTest, ABranchAndAnItemOfOneNameCannotShareAKey)
{
    ASSERT_TRUE(importTags("<LEVEL/>" + tag("Level")));
    EXPECT_EQ(ui.lastMessage(), " Error n. 35602  Key is not unique in collection in BrowseBranch");
    EXPECT_FALSE(model.items.contains("P.Level"));
    EXPECT_TRUE(model.branches.contains("P.LEVEL"));
}

TEST_F(ImportTest, FaultyElementsAreSkippedWithWhatIsBelowThem)
{
    ASSERT_TRUE(importTags("<tag><comment>no name</comment></tag>" + tag("a.b") + tag("") + "<B1>" +
                           tag("Deep", "<databyte>70000</databyte>") + tag("Ok") + "</B1>" + "<B.2>" +
                           tag("Lost") + "</B.2>"));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               " Error n. 91  Object variable or With block variable not set in BrowseBranch",
                               " Error n. 35603  Invalid key in BrowseBranch",
                               " Error n. 35603  Invalid key in BrowseBranch",
                               " Error n. 6  Overflow in BrowseBranch",
                               " Error n. 35603  Invalid key in BrowseBranch",
                           }));
    EXPECT_EQ(model.items.size(), 1u);
    EXPECT_TRUE(model.items.contains("P.B1.Ok"));
    EXPECT_FALSE(model.branches.contains("P.B.2"));
}

TEST_F(ImportTest, AFaultyPlcIsSkippedAndTheNextOneRead)
{
    ASSERT_TRUE(
        importText("<ORVATcpIpS7Cfg><OPC_DA><INTERFACE name=\"I\">"
                   "<PLC name=\"A\" address=\"1\" CPUSlot=\"256\"><tags>" +
                   tag("X") +
                   "</tags></PLC>"
                   "<PLC name=\"B\" address=\"1\" RackNr=\"255\"/>"
                   "<PLC name=\"B\" address=\"2\"/>"
                   "<PLC address=\"3\"/>"
                   "<PLC name=\"C\" address=\"4\"/>"
                   "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>"));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               " Error n. 6  Overflow in BrowsePlc",
                               " Error n. 457  This key is already associated with an element of this "
                               "collection in BrowsePlc",
                               " Error n. 94  Invalid use of Null in BrowsePlc",
                           }));
    EXPECT_FALSE(model.plcs.contains("A"));
    EXPECT_FALSE(model.items.contains("A.X"));
    EXPECT_EQ(model.plcs.get("B")->sAddress, "1");
    EXPECT_EQ(model.plcs.get("B")->nRack, 255);
    EXPECT_TRUE(model.plcs.contains("C"));
}

TEST_F(ImportTest, ASettingsValueOutOfRangeEndsTheImport)
{
    EXPECT_FALSE(
        importText("<ORVAMpiECfg><SETTINGS com=\"COM1\" master=\"256\"/><OPC_DA><PLC name=\"A\"/></OPC_DA>"
                   "</ORVAMpiECfg>"));
    EXPECT_EQ(ui.lastMessage(), " Error n. 6  Overflow in ImportXML");
    EXPECT_EQ(model.settings.comPort, "COM1") << "what was read before the failure stays";
    EXPECT_FALSE(model.plcs.contains("A"));
}

TEST_F(ImportTest, FilesThatCannotBeReadOrParsedAreReported)
{
    EXPECT_FALSE(model.openConfiguration("/nonexistent/Tornel.xml"));
    EXPECT_EQ(ui.lastMessage(), " Error n. 53  File not found in ImportXML");
    EXPECT_FALSE(model.isOpen);
    EXPECT_FALSE(importText("<ORVAMPICfg><OPC_DA>"));
    EXPECT_EQ(ui.lastMessage(), " Error n. 31037  XML document is not well formed in ImportXML");
    EXPECT_FALSE(model.importXmlBytes(""));
}

TEST_F(ImportTest, MarkupInNamesAndCommentsSurvivesARoundTrip)
{
    ASSERT_TRUE(
        importTags("<tag><name>a&amp;b&lt;c&gt;\"d\"</name><comment>x &lt; y &amp;&amp; z&#13;"
                   "&#8364;</comment><datatype>VT_UI1</datatype><accessrights>READ</accessrights></tag>"));
    const std::string firstSave = written(model);
    ScriptedUi ui2;
    EditorModel reread(ui2);
    ASSERT_TRUE(reread.importXmlBytes(firstSave));
    const auto item = reread.items.get("P.a&b<c>\"d\"");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->sComment(), "x < y && z\r\xE2\x82\xAC");
    EXPECT_EQ(written(reread), firstSave);
}

TEST_F(ImportTest, WhitespaceOnlyTextIsKeptAndFormattingIsNot)
{
    ASSERT_TRUE(importTags("\r\n\t<B>\r\n\t</B>\r\n" + tag("Spaces", "<comment>   </comment>")));
    EXPECT_EQ(model.items.get("P.Spaces")->sComment(), "   ");
    EXPECT_EQ(model.tree.find("P.B")->childCount(), 0u);
}

TEST_F(ImportTest, VeryDeepNestingIsRefusedWithoutExhaustingTheStack)
{
    std::string open, close;
    for (int i = 0; i < 5000; ++i) {
        open += "<B>";
        close += "</B>";
    }
    ASSERT_TRUE(importTags(open + close + tag("After")));
    EXPECT_EQ(ui.lastMessage(), " Error n. 31038  XML elements nested too deeply in BrowseBranch");
    EXPECT_TRUE(model.items.contains("P.After"));
    EXPECT_EQ(model.branches.size(), 200u);
}

TEST_F(ImportTest, OpeningKeepsTheClipboardAndResetsSettings)
{
    model.newConfiguration(ServerKind::Lorvik, "x");
    addPlc(model, "P");
    addBranch(model, "P", "B");
    addItem(model, "P.B", "Level");
    model.copy({"P.B.Level"});
    ASSERT_TRUE(model.applySettings({"", "COM4", "9600", "NO", "8", "1", "3"}));
    ASSERT_TRUE(model.openConfiguration(dataFile("pennat.xml").string()));
    ASSERT_EQ(model.clipboard.value().size(), 1u);
    EXPECT_EQ(model.clipboard.value().at(0)->sName(), "Level");
    EXPECT_EQ(model.settings.comPort, "COM1");
}

TEST_F(ImportTest, ProgressRunsFrom0To99AndWraps)
{
    std::string tags;
    for (int i = 0; i < 150; ++i)
        tags += tag("T" + std::to_string(i));
    ASSERT_TRUE(importTags(tags));
    ASSERT_EQ(ui.progress.size(), 150u);
    EXPECT_EQ(ui.progress[0], 1);
    EXPECT_EQ(ui.progress[98], 99);
    EXPECT_EQ(ui.progress[99], 0);
}

}  // namespace
}  // namespace orva::editor::test
