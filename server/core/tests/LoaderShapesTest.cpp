// The four kinds of configuration file: what each configures and which warnings it shows.

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "LoaderFixture.h"
#include "core/LoaderMessages.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using config::ServerKind;

TEST_F(LoaderFixture, TornelPlcsKeepFileOrderWithBranchesAndItemIds)
{
    const std::string file = tornelFile(
        "<PLC name=\"Line1\" address=\"10.0.0.1\" CPUSlot=\"2\" RackNr=\"1\" source=\"10.0.0.9\"><tags>" +
        tagXml("Mode", "VT_UI1", 4, 11) + "<Drives>" + tagXml("Speed", "VT_I2", 0, 10, "READ") + "<Inner>" +
        tagXml("Deep", "VT_R4", 8) +
        "</Inner></Drives><Empty/></tags></PLC>"
        "<PLC name=\"Line3\" address=\"10.0.0.3\"/>"
        "<PLC name=\"Line2\" address=\"10.0.0.2\"><tags/></PLC>");
    ASSERT_TRUE(load(ServerKind::Tornel, file));
    EXPECT_TRUE(owner.warnings.empty());

    ASSERT_EQ(plcs.size(), 3u);
    EXPECT_EQ(plcs.at(0)->name, "Line1");
    EXPECT_EQ(plcs.at(1)->name, "Line3");
    EXPECT_EQ(plcs.at(2)->name, "Line2");
    EXPECT_EQ(plcs.at(0)->address, "10.0.0.1");
    EXPECT_EQ(plcs.at(0)->source, "10.0.0.9");
    EXPECT_EQ(plcs.at(0)->cpuSlot, 2);
    EXPECT_EQ(plcs.at(0)->rackNr, 1);
    EXPECT_FALSE(plcs.at(1)->source);
    EXPECT_FALSE(plcs.at(0)->isRedundant());
    EXPECT_EQ(plcs.at(0)->getObjectType(), S7PLC_OBJECT_TYPE);

    EXPECT_EQ(children(""), (std::vector<std::string>{"Line1/", "Line3/", "Line2/"}));
    EXPECT_EQ(children("Line1"), (std::vector<std::string>{"Drives/", "Empty/", "Mode"}));
    EXPECT_EQ(children("Line1.Empty"), std::vector<std::string>{});
    auto deep = root->findTag("Line1.Drives.Inner.Deep");
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->getItemID(), "Line1.Drives.Inner.Deep");

    auto speed = root->findTag("Line1.Drives.Speed");
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->getNativeDatatype(), VT_I2);
    EXPECT_EQ(speed->getAccessRights(), 1u);
    EXPECT_EQ(speed->getDeviceIOMode(), 1);
    EXPECT_EQ(speed->getDescription(), "c Speed");
    EXPECT_EQ(s7(speed)->dataBlock, 10);
    EXPECT_EQ(s7(speed)->plc.get(), plcs.at(0));
    EXPECT_EQ(s7(speed)->statusRow, -1);
    EXPECT_EQ(s7(speed)->inBlock, 0);
    EXPECT_EQ(speed->getCache()->getQuality(), OPC_QUALITY_UNCERTAIN);
}

TEST_F(LoaderFixture, PlcsOfTheSameNameShareOneBranch)
{
    ASSERT_TRUE(load(ServerKind::Tornel, tornelFile("<PLC name=\"A\" address=\"1.1.1.1\"><tags>" +
                                                    tagXml("X", "VT_I2") + "<B>" + tagXml("Y", "VT_I2") +
                                                    "</B></tags></PLC>"
                                                    "<PLC name=\"A\" address=\"2.2.2.2\"><tags><B>" +
                                                    tagXml("Z", "VT_I2") + "</B></tags></PLC>")));
    ASSERT_EQ(plcs.size(), 2u);
    EXPECT_EQ(children(""), std::vector<std::string>{"A/"});
    EXPECT_EQ(children("A.B"), (std::vector<std::string>{"Y", "Z"}));
    EXPECT_EQ(s7(root->findTag("A.B.Z"))->plc.get(), plcs.at(1));
    EXPECT_EQ(s7(root->findTag("A.X"))->plc.get(), plcs.at(0));
}

TEST_F(LoaderFixture, VardelHandsOverTheInterfaceName)
{
    ASSERT_TRUE(load(ServerKind::Vardel,
                     "<ORVAS7Cfg><OPC_DA><INTERFACE name=\"CP_L2_1:\"><PLC name=\"S7\" "
                     "address=\"ignored\"><tags>" +
                         tagXml("T", "VT_UI4") + "</tags></PLC></INTERFACE></OPC_DA></ORVAS7Cfg>"));
    EXPECT_EQ(transport.interfaceNames, std::vector<std::string>{"CP_L2_1:"});
    ASSERT_EQ(plcs.size(), 1u);
    EXPECT_EQ(plcs.at(0)->address, "");
    EXPECT_TRUE(root->findTag("S7.T"));

    EXPECT_FALSE(load(ServerKind::Vardel, "<ORVAS7Cfg><OPC_DA><PLC name=\"x\"/></OPC_DA></ORVAS7Cfg>"));
    ASSERT_EQ(owner.warnings.size(), 1u);
    EXPECT_EQ(owner.warnings[0].text, "Wrong XML file syntax: no Sapi Interface element\n");
    EXPECT_EQ(owner.warnings[0].caption, "OPC S7 TcpIp S7 Server");
}

TEST_F(LoaderFixture, PennatReadsPlcsDirectlyBelowDevices)
{
    ASSERT_TRUE(
        load(ServerKind::Pennat, "<ORVAMPICfg><OPC_DA><PLC name=\"M\" address=\"3\" CPUSlot=\"2\"><tags>" +
                                     tagXml("T", "VT_I2") + "</tags></PLC></OPC_DA></ORVAMPICfg>"));
    ASSERT_EQ(plcs.size(), 1u);
    EXPECT_EQ(plcs.at(0)->mpiAddress, 3);
    EXPECT_EQ(plcs.at(0)->cpuSlot, 2);
    // An INTERFACE element between OPC_DA and the PLCs is not a PLC.
    plcs.clear();
    ASSERT_TRUE(load(ServerKind::Pennat,
                     "<ORVAMPICfg><OPC_DA><INTERFACE><PLC name=\"N\"/></INTERFACE></OPC_DA></ORVAMPICfg>"));
    EXPECT_EQ(plcs.size(), 0u);
    EXPECT_TRUE(owner.warnings.empty());
}

TEST_F(LoaderFixture, LorvikTakesSettingsAndDevicesInAnyOrder)
{
    const std::string plc = "<OPC_DA><PLC name=\"E\" address=\"2\" CPUSlot=\"1\"/></OPC_DA>";
    const std::string settings =
        "<SETTINGS com=\"COM3\" master=\"257\" baudrate=\"19200\" parity=\"EVEN\" stopbits=\"2\" "
        "databits=\"8\"/>";
    ASSERT_TRUE(load(ServerKind::Lorvik, "<ORVAMpiECfg>" + plc + settings + "</ORVAMpiECfg>"));
    ASSERT_EQ(plcs.size(), 1u);
    ASSERT_EQ(transport.serial.size(), 1u);
    const SerialSettings& s = transport.serial[0];
    EXPECT_EQ(s.com, "COM3");
    EXPECT_EQ(s.baudrate, 19200u);
    EXPECT_EQ(s.databits, 8);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.stopbits, 2);
    EXPECT_EQ(s.master, 1);  // low byte of 257

    ASSERT_TRUE(load(ServerKind::Lorvik,
                     "<ORVAMpiECfg><SETTINGS com=\"COM1\" master=\"0\" baudrate=\"9600\" "
                     "parity=\"MARK\" stopbits=\"3\" databits=\"7\"/>" +
                         plc + "</ORVAMpiECfg>"));
    ASSERT_EQ(transport.serial.size(), 2u);
    EXPECT_EQ(transport.serial[1].parity, 1);
    EXPECT_EQ(transport.serial[1].stopbits, 0);
    EXPECT_EQ(transport.serial[1].master, 0);
    EXPECT_EQ(plcs.size(), 2u);
    EXPECT_TRUE(owner.warnings.empty());
}

TEST_F(LoaderFixture, LorvikSettingsWithoutSpeedHandNothingButCount)
{
    ASSERT_TRUE(load(ServerKind::Lorvik,
                     "<ORVAMpiECfg><SETTINGS com=\"COM1\" baudrate=\"0\" parity=\"NO\" "
                     "stopbits=\"1\" databits=\"8\"/><OPC_DA/></ORVAMpiECfg>"));
    EXPECT_TRUE(transport.serial.empty());
    EXPECT_TRUE(owner.warnings.empty());
    ASSERT_TRUE(load(ServerKind::Lorvik,
                     "<ORVAMpiECfg><SETTINGS baudrate=\"9600\" parity=\"NO\" stopbits=\"1\" "
                     "databits=\"8\"/><OPC_DA/></ORVAMpiECfg>"));
    EXPECT_TRUE(transport.serial.empty());
}

TEST_F(LoaderFixture, LorvikWithoutSettingsOrDevicesWarnsAndKeepsLoadedPlcs)
{
    EXPECT_FALSE(load(ServerKind::Lorvik, "<ORVAMpiECfg><OPC_DA><PLC name=\"E\"/></OPC_DA></ORVAMpiECfg>"));
    EXPECT_EQ(plcs.size(), 1u);
    EXPECT_FALSE(load(ServerKind::Lorvik, "<ORVAMpiECfg><SETTINGS/></ORVAMpiECfg>"));
    EXPECT_EQ(warningTexts(), (std::vector<std::string>{"Wrong XML file syntax: no Settings element\n",
                                                        "Wrong XML file syntax: no devices element\n"}));
    EXPECT_EQ(owner.warnings[0].caption, "OPC S7 MPI Server");
}

TEST_F(LoaderFixture, TornelStructureWarnings)
{
    EXPECT_FALSE(load(ServerKind::Tornel, "<ORVATcpIpS7Cfg><!-- note --><OPC_DA/></ORVATcpIpS7Cfg>"));
    EXPECT_FALSE(load(ServerKind::Tornel, "<ORVATcpIpS7Cfg/>"));
    EXPECT_FALSE(
        load(ServerKind::Tornel, "<ORVATcpIpS7Cfg><OPC_DA><?pi x?><INTERFACE/></OPC_DA></ORVATcpIpS7Cfg>"));
    EXPECT_FALSE(load(ServerKind::Pennat, "<ORVAMPICfg>text<OPC_DA/></ORVAMPICfg>"));
    EXPECT_EQ(warningTexts(), (std::vector<std::string>{"Wrong XML file syntax: no devices element\n",
                                                        "Wrong XML file syntax: no devices element\n",
                                                        "Wrong XML file syntax: no S7 Interface element\n",
                                                        "Wrong XML file syntax: no devices element\n"}));
    EXPECT_EQ(owner.warnings[0].caption, "OPC S7 TcpIp S7 Server");
    EXPECT_EQ(owner.warnings[3].caption, "OPC S7 MPI Server");
}

TEST_F(LoaderFixture, OtherKindsMissingAndMalformedFilesConfigureNothingSilently)
{
    EXPECT_TRUE(load(ServerKind::Pennat, tornelFile("<PLC name=\"A\" address=\"1\"/>")));
    EXPECT_TRUE(load(ServerKind::Tornel, "<ORVATcpIpS7Cfg><OPC_DA><INTERFACE><PLC name=\"A\""));
    EXPECT_TRUE(load(ServerKind::Tornel, ""));
    const LoadContext context{ServerKind::Tornel, plcs, queues, owner, &transport};
    EXPECT_TRUE(loadConfiguration(context, "/nonexistent/dir/Tornel.xml", *root));
    EXPECT_EQ(plcs.size(), 0u);
    EXPECT_TRUE(owner.warnings.empty());
    EXPECT_EQ(root->getBranchCount(), 0u);
}

TEST_F(LoaderFixture, Latin1FileKeepsItsCharactersAsUtf8)
{
    const auto path =
        std::filesystem::temp_directory_path() / ("orva_latin1_" + std::to_string(::getpid()) + ".xml");
    {
        std::ofstream out(path, std::ios::binary);
        out << tornelFile(
            "<PLC name=\"Four\" address=\"1.2.3.4\"><tags><tag><name>T\xE9</name>"
            "<comment>Temp\xE9rature</comment><datatype>VT_R4</datatype></tag></tags></PLC>");
    }
    const LoadContext context{ServerKind::Tornel, plcs, queues, owner, &transport};
    ASSERT_TRUE(loadConfiguration(context, path, *root));
    std::filesystem::remove(path);
    auto tag = root->findTag("Four.T\xC3\xA9");
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->getDescription(), "Temp\xC3\xA9rature");
    SOCmnVariant description = tag->getProperty(SODAS_PROPERTY_ITEM_DESCRIPTION)->getConstantValue();
    EXPECT_EQ(description.getString(), u"Temp\u00e9rature");
}

TEST_F(LoaderFixture, SampleConfigurationLoads)
{
    const LoadContext context{ServerKind::Tornel, plcs, queues, owner, &transport};
    ASSERT_TRUE(loadConfiguration(context, std::filesystem::path(ORVA_SAMPLES_DIR) / "Tornel.xml", *root));
    EXPECT_TRUE(owner.warnings.empty());
    ASSERT_EQ(plcs.size(), 1u);
    auto temperature = root->findTag("Line1.PROCESS.Temperature");
    ASSERT_TRUE(temperature);
    EXPECT_EQ(temperature->getDescription(), "Temp\xC3\xA9rature du four");
}
