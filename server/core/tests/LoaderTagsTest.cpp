// Tags, redundancy and the refusal of values the data model cannot hold.

#include "LoaderFixture.h"
#include "config/Limits.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using config::ServerKind;

namespace {

std::string onePlc(const std::string& tags, const std::string& extra = "")
{
    return tornelFile("<PLC name=\"P\" address=\"10.0.0.1\">" + extra + "<tags>" + tags + "</tags></PLC>");
}

}  // namespace

TEST_F(LoaderFixture, TagCachesArePreparedByType)
{
    ASSERT_TRUE(
        load(ServerKind::Tornel,
             onePlc(tagXml("Arr", "VT_UI2 ARRAY") +
                    tagXml("Arr5", "VT_I4 ARRAY", 0, 1, "READ", "<elements>5</elements>") +
                    tagXml("Str", "VT_BSTR", 0, 1, "READ", "<elements>4</elements>") +
                    tagXml("Plain", "VT_I2") + tagXml("R8", "VT_R8") + tagXml("StrArr", "VT_BSTR ARRAY") +
                    tagXml("TwoSpaces", "VT_I2  ARRAY") + "<tag><name>Bare</name></tag>")));
    EXPECT_TRUE(owner.warnings.empty());
    SOCmnVariant v;
    auto arr = root->findTag("P.Arr");
    ASSERT_TRUE(arr->getCache()->getValue(v));
    EXPECT_EQ(v.getType(), VT_ARRAY | VT_UI2);
    EXPECT_EQ(v.getArrayLength(), 0u);
    ASSERT_TRUE(root->findTag("P.Arr5")->getCache()->getValue(v));
    EXPECT_EQ(v.getArrayLength(), 5u);
    EXPECT_EQ(v.getArrayInt(4), 0);
    ASSERT_TRUE(root->findTag("P.Str")->getCache()->getValue(v));
    EXPECT_EQ(v.getType(), VT_BSTR);
    EXPECT_EQ(v.getString().size(), 4u);
    EXPECT_FALSE(root->findTag("P.Plain")->getCache()->getValue(v));
    EXPECT_EQ(root->findTag("P.Plain")->getCache()->getQuality(), OPC_QUALITY_UNCERTAIN);
    EXPECT_EQ(root->findTag("P.R8")->getNativeDatatype(), VT_R8);
    EXPECT_EQ(root->findTag("P.StrArr")->getNativeDatatype(), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(root->findTag("P.TwoSpaces")->getNativeDatatype(), VT_EMPTY);
    auto bare = root->findTag("P.Bare");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->getNativeDatatype(), VT_EMPTY);
    EXPECT_EQ(bare->getAccessRights(), 0u);
    EXPECT_EQ(bare->getDescription(), "");
}

TEST_F(LoaderFixture, TagFieldsInAnyOrderLastValueWinsUnknownChildrenIgnored)
{
    ASSERT_TRUE(
        load(ServerKind::Tornel,
             onePlc("<tag><accessrights>WRITE</accessrights><databit>3</databit><name>First</name>"
                    "<unknown>9</unknown><databyte>4</databyte><databyte>6</databyte><databyte></databyte>"
                    "<name>Valve &amp; Pump</name><datatype>VT_BOOL</datatype><datablock>7</datablock>"
                    "<comment><![CDATA[a <b>]]></comment></tag>")));
    auto tag = root->findTag("P.Valve & Pump");
    ASSERT_TRUE(tag);
    EXPECT_EQ(s7(tag)->dataByte, 6);
    EXPECT_EQ(s7(tag)->dataBit, 3);
    EXPECT_EQ(s7(tag)->dataBlock, 7);
    EXPECT_EQ(tag->getAccessRights(), 2u);
    EXPECT_EQ(tag->getNativeDatatype(), VT_BOOL);
    EXPECT_EQ(tag->getDescription(), "a <b>");
}

TEST_F(LoaderFixture, RedundantPlcPublishesOnlyTheServerState)
{
    ASSERT_TRUE(
        load(ServerKind::Tornel,
             onePlc(tagXml("T", "VT_I2"),
                    "<redundancy><addressB>10.0.0.2</addressB><sourceB>10.0.0.8</sourceB><Block>20</Block>"
                    "<StatusByte>1</StatusByte><StatusBit>2</StatusBit><CmdByte>3</CmdByte><CmdBit>4</CmdBit>"
                    "</redundancy>")));
    ASSERT_EQ(plcs.size(), 1u);
    S7Plc& plc = *plcs.at(0);
    ASSERT_TRUE(plc.isRedundant());
    EXPECT_EQ(*plc.addressB, "10.0.0.2");
    EXPECT_EQ(*plc.sourceB, "10.0.0.8");
    EXPECT_EQ(children("P"), (std::vector<std::string>{"ServerRedundancyState", "T"}));
    auto state = root->findTag("P.ServerRedundancyState");
    ASSERT_TRUE(state);
    EXPECT_EQ(state.get(), plc.serverStateTag.get());
    EXPECT_EQ(state->getNativeDatatype(), VT_I2);
    EXPECT_EQ(state->getAccessRights(), 1u);
    EXPECT_EQ(state->getDescription(), "Redundancy Master Slave State");

    ASSERT_TRUE(plc.redundancyStatusTag && plc.redundancyCommandTag);
    EXPECT_EQ(plc.redundancyStatusTag->getNativeDatatype(), VT_BOOL);
    EXPECT_EQ(plc.redundancyStatusTag->dataBlock, 20);
    EXPECT_EQ(plc.redundancyStatusTag->dataByte, 1);
    EXPECT_EQ(plc.redundancyStatusTag->dataBit, 2);
    EXPECT_EQ(plc.redundancyCommandTag->getAccessRights(), 3u);
    EXPECT_EQ(plc.redundancyCommandTag->getNativeDatatype(), VT_UI1);
    EXPECT_EQ(plc.redundancyCommandTag->dataByte, 3);
    EXPECT_EQ(plc.redundancyCommandTag->dataBit, 4);
    EXPECT_EQ(plc.redundancyCommandTag->getDescription(), "Plc Redundancy Command Bit");
    EXPECT_FALSE(root->findTag("P.PlcRedundancyStatus"));
    EXPECT_FALSE(root->findTag("P.PlcRedundancyCommand"));
    EXPECT_EQ(plc.redundancyStatusTag->getParentBranch(), nullptr);
}

TEST_F(LoaderFixture, RedundancyWithoutSecondAddressLeavesThePlcSingle)
{
    ASSERT_TRUE(load(ServerKind::Tornel,
                     onePlc("", "<redundancy><sourceB>1.1.1.1</sourceB><Block>20</Block></redundancy>")));
    EXPECT_FALSE(plcs.at(0)->isRedundant());
    EXPECT_FALSE(plcs.at(0)->serverStateTag);
    EXPECT_EQ(children("P"), std::vector<std::string>{});
    // Only Tornel reads redundancy.
    plcs.clear();
    ASSERT_TRUE(load(ServerKind::Pennat,
                     "<ORVAMPICfg><OPC_DA><PLC name=\"Q\"><redundancy><addressB>x</addressB>"
                     "</redundancy></PLC></OPC_DA></ORVAMPICfg>"));
    EXPECT_FALSE(plcs.at(0)->isRedundant());
}

TEST_F(LoaderFixture, ReleasingThePlcListFreesPlcsTagsAndRedundancy)
{
    ASSERT_TRUE(load(ServerKind::Tornel,
                     onePlc(tagXml("T", "VT_I2"), "<redundancy><addressB>2</addressB></redundancy>")));
    SOCmnPointer<S7Plc> plc = shareRef(plcs.at(0));
    SOCmnPointer<S7Tag> status = plc->redundancyStatusTag;
    entry->terminate();  // the address space lets its tags go
    plcs.clear();
    EXPECT_EQ(status->getRefCount(), 1u);
    status.reset();
    EXPECT_EQ(plc->getRefCount(), 1u);
}

TEST_F(LoaderFixture, BadNumbersSkipTheTagWithAWarning)
{
    const std::string bad[] = {"-1", "1x", "65536", "0x10", "1 2", "99999999999999999999999"};
    std::string tags;
    for (std::size_t i = 0; i < std::size(bad); ++i)
        tags += "<tag><name>B" + std::to_string(i) + "</name><databyte>" + bad[i] + "</databyte></tag>";
    tags += "<tag><name>Ok</name><databyte> 65535 </databyte><elements>007</elements></tag>";
    ASSERT_TRUE(load(ServerKind::Tornel, onePlc(tags)));
    EXPECT_EQ(children("P"), std::vector<std::string>{"Ok"});
    EXPECT_EQ(s7(root->findTag("P.Ok"))->dataByte, 65535);
    EXPECT_EQ(s7(root->findTag("P.Ok"))->elements, 7);
    ASSERT_EQ(owner.warnings.size(), std::size(bad));
    EXPECT_EQ(
        owner.warnings[0].text,
        "Wrong XML file syntax: tag \"B0\" in P skipped: databyte \"-1\" is not a number from 0 to 65535\n");
    EXPECT_EQ(owner.warnings[0].caption, "OPC S7 TcpIp S7 Server");
}

TEST_F(LoaderFixture, TagsWithoutNameAndDuplicateNamesAreRefused)
{
    ASSERT_TRUE(
        load(ServerKind::Tornel, onePlc("<B><tag><comment>x</comment></tag>" + tagXml("Same", "VT_I2", 1) +
                                        tagXml("Same", "VT_R4", 2) + "</B>")));
    EXPECT_EQ(children("P.B"), std::vector<std::string>{"Same"});
    EXPECT_EQ(s7(root->findTag("P.B.Same"))->dataByte, 1);
    EXPECT_EQ(warningTexts(),
              (std::vector<std::string>{
                  "Wrong XML file syntax: tag in P.B skipped: it has no name\n",
                  "Wrong XML file syntax: tag \"Same\" in P.B skipped: the name is already used\n"}));
}

TEST_F(LoaderFixture, TornelPlcAttributesAreChecked)
{
    ASSERT_TRUE(load(ServerKind::Tornel,
                     tornelFile("<PLC name=\"NoAddress\"/>"
                                "<PLC name=\"Long\" address=\"123.123.123.1234\"/>"
                                "<PLC name=\"LongSource\" address=\"1.1.1.1\" source=\"123.123.123.1234\"/>"
                                "<PLC name=\"Slot\" address=\"1.1.1.1\" CPUSlot=\"x\"/>"
                                "<PLC name=\"Rack\" address=\"1.1.1.1\" RackNr=\"65536\"/>"
                                "<PLC name=\"Max\" address=\"123.123.123.123\" source=\"\xC3\xA9\xC3\xA9\"/>"
                                "<PLC address=\"1.1.1.1\"/>")));
    ASSERT_EQ(plcs.size(), 1u);
    EXPECT_EQ(plcs.at(0)->name, "Max");
    EXPECT_EQ(children(""), std::vector<std::string>{"Max/"});
    EXPECT_EQ(
        warningTexts(),
        (std::vector<std::string>{
            "Wrong XML file syntax: PLC \"NoAddress\" skipped: it has no address\n",
            "Wrong XML file syntax: PLC \"Long\" skipped: address \"123.123.123.1234\" is longer than 15 "
            "characters\n",
            "Wrong XML file syntax: PLC \"LongSource\" skipped: source \"123.123.123.1234\" is longer than "
            "15 "
            "characters\n",
            "Wrong XML file syntax: PLC \"Slot\" skipped: CPUSlot \"x\" is not a number from 0 to 65535\n",
            "Wrong XML file syntax: PLC \"Rack\" skipped: RackNr \"65536\" is not a number from 0 to "
            "65535\n"}));
}

TEST_F(LoaderFixture, BadRedundancyIsIgnoredAndThePlcStays)
{
    ASSERT_TRUE(load(ServerKind::Tornel,
                     onePlc("",
                            "<redundancy><addressB>1234567890123456</addressB></redundancy>"
                            "<redundancy><addressB>1.1.1.2</addressB><CmdBit>-3</CmdBit></redundancy>")));
    ASSERT_EQ(plcs.size(), 1u);
    EXPECT_FALSE(plcs.at(0)->isRedundant());
    ASSERT_EQ(owner.warnings.size(), 2u);
    EXPECT_EQ(owner.warnings[0].text,
              "Wrong XML file syntax: redundancy of PLC \"P\" ignored: addressB "
              "\"1234567890123456\" is longer than 15 characters\n");
    EXPECT_EQ(owner.warnings[1].text,
              "Wrong XML file syntax: redundancy of PLC \"P\" ignored: CmdBit \"-3\" is not a "
              "number from 0 to 65535\n");
}

TEST_F(LoaderFixture, BadMpiNumbersAndSettingsAreRefused)
{
    ASSERT_TRUE(
        load(ServerKind::Lorvik,
             "<ORVAMpiECfg><SETTINGS com=\"COM1\" baudrate=\"4294967296\" parity=\"NO\" stopbits=\"1\" "
             "databits=\"8\"/><OPC_DA><PLC name=\"A\" address=\"70000\"/><PLC name=\"B\" address=\"5\"/>"
             "</OPC_DA></ORVAMpiECfg>"));
    EXPECT_TRUE(transport.serial.empty());
    ASSERT_EQ(plcs.size(), 1u);
    EXPECT_EQ(plcs.at(0)->name, "B");
    EXPECT_EQ(warningTexts(),
              (std::vector<std::string>{
                  "Wrong XML file syntax: Settings ignored: baudrate \"4294967296\" is not a "
                  "number from 0 to 4294967295\n",
                  "Wrong XML file syntax: PLC \"A\" skipped: address \"70000\" is not a number "
                  "from 0 to 65535\n"}));
}

TEST_F(LoaderFixture, ManyRefusalsAreSummedUpAfterTheFirstOnes)
{
    std::string tags;
    for (int i = 0; i < 30; ++i)
        tags += "<tag><datablock>1</datablock></tag>";
    ASSERT_TRUE(load(ServerKind::Tornel, onePlc(tags)));
    ASSERT_EQ(owner.warnings.size(), 21u);
    EXPECT_EQ(owner.warnings.back().text, "Wrong XML file syntax: 10 more elements skipped or ignored\n");
}

TEST_F(LoaderFixture, DeepBranchesStopAtTheNestingLimitTheEditorShares)
{
    const int limit = config::kMaxBranchDepth;
    std::string open, close;
    for (int i = 0; i < limit + 6; ++i) {
        open += "<L" + std::to_string(i) + ">";
        close = "</L" + std::to_string(i) + ">" + close;
    }
    ASSERT_TRUE(load(ServerKind::Tornel, onePlc(open + tagXml("Leaf", "VT_I2") + close)));
    ASSERT_EQ(owner.warnings.size(), 1u);
    const std::string deepest = "L" + std::to_string(limit);
    EXPECT_NE(owner.warnings[0].text.find("branch \"" + deepest + "\""), std::string::npos);
    EXPECT_NE(owner.warnings[0].text.find("nest deeper than " + std::to_string(limit) + " levels"),
              std::string::npos);
}

TEST_F(LoaderFixture, LongValuesAreShortenedInMessagesOnly)
{
    const std::string longName(100, 'n');
    ASSERT_TRUE(load(
        ServerKind::Tornel,
        onePlc("<tag><name>" + longName + "</name><databit>x</databit></tag>" + tagXml(longName, "VT_I2"))));
    ASSERT_EQ(owner.warnings.size(), 1u);
    EXPECT_NE(owner.warnings[0].text.find("\"" + std::string(40, 'n') + "...\""), std::string::npos);
    EXPECT_TRUE(root->findTag("P." + longName));
}

TEST_F(LoaderFixture, OnlyLeadingTextIsAValue)
{
    ASSERT_TRUE(load(ServerKind::Tornel, onePlc("<tag><name>A<x/>B</name><comment><x/>hidden</comment>"
                                                "<databyte><!-- c -->5</databyte></tag>")));
    auto tag = root->findTag("P.A");
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->getDescription(), "");
    EXPECT_EQ(s7(tag)->dataByte, 0);
}
