// Data blocks laid out after a configuration file and animated by tag type: what the server
// decodes from them, step after step, and the tags left to the clients.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ValueConversion.h"
#include "plcsim/ConfigTags.h"
#include "plcsim/TagAnimation.h"

namespace orva::plcsim {
namespace {

using namespace std::chrono_literals;

std::string plcXml(const std::string& name, const std::string& address, const std::string& tags)
{
    return "<PLC name=\"" + name + "\" address=\"" + address + "\" CPUSlot=\"2\" RackNr=\"0\"><tags>" + tags +
           "</tags></PLC>";
}

std::string tagXml(const std::string& name, const std::string& type, int block, int byte,
                   const std::string& access, const std::string& extra = "")
{
    return "<tag><name>" + name + "</name><databyte>" + std::to_string(byte) + "</databyte><datatype>" +
           type + "</datatype><datablock>" + std::to_string(block) + "</datablock><accessrights>" + access +
           "</accessrights>" + extra + "</tag>";
}

std::string tornelFile(const std::string& plcs)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ORVATcpIpS7Cfg><OPC_DA><INTERFACE "
           "name=\"SAPIS7\">" +
           plcs + "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>";
}

const ConfigTag& tagNamed(const ConfigPlc& plc, const std::string& itemId)
{
    const auto found = std::find_if(plc.tags.begin(), plc.tags.end(),
                                    [&](const ConfigTag& t) { return t.itemId == itemId; });
    if (found == plc.tags.end()) throw std::runtime_error("no tag " + itemId);
    return *found;
}

// The server's view of a tag: its bytes from the simulator, decoded as the server does.
opc::SOCmnVariant decode(const PlcSimulator& simulator, const ConfigTag& tag)
{
    std::vector<uint8_t> bytes(orva::core::tagByteLength(tag.layout));
    opc::SOCmnVariant value;
    if (!simulator.readMemory(tag.dataBlock, tag.dataByte, bytes)) return value;
    orva::core::bytesToValue(tag.layout, bytes, value);
    return value;
}

std::string text(const opc::SOCmnVariant& value)
{
    std::string out = value.toUtf8();
    out.erase(std::find(out.begin(), out.end(), '\0'), out.end());
    return out;
}

class SampleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(loadConfigPlc(ORVA_SAMPLES_DIR "/Tornel.xml", {"", "127.0.0.1:10102"}, plc, error))
            << error;
        SimulatorOptions options;
        options.dataBlocks = plc.dataBlocks;
        simulator = std::make_unique<PlcSimulator>(options);
        animation = std::make_unique<TagAnimation>(plc.tags, 250ms);
        animation->seed(*simulator);
    }

    opc::SOCmnVariant at(const std::string& itemId) { return decode(*simulator, tagNamed(plc, itemId)); }

    ConfigPlc plc;
    std::unique_ptr<PlcSimulator> simulator;
    std::unique_ptr<TagAnimation> animation;
};

TEST_F(SampleTest, TheSampleGivesEveryTagAndBlocksLargeEnoughForTheFurthest)
{
    EXPECT_EQ(plc.name, "Line1");
    EXPECT_EQ(plc.address, "127.0.0.1:10102");
    EXPECT_EQ(plc.tags.size(), 13u);
    EXPECT_TRUE(plc.skipped.empty());
    // DB10 ends with the 12 valve bits at byte 52; DB11 with the trim byte at 4.
    const std::map<uint16_t, size_t> blocks{{10, 54}, {11, 5}};
    EXPECT_EQ(plc.dataBlocks, blocks);
    EXPECT_TRUE(tagNamed(plc, "Line1.DRIVES.Speed").writable);
    EXPECT_FALSE(tagNamed(plc, "Line1.DRIVES.Current").writable);
    EXPECT_TRUE(tagNamed(plc, "Line1.Mode").writable);
    EXPECT_FALSE(tagNamed(plc, "Line1.Alarm").writable);
    EXPECT_EQ(describeAddress(tagNamed(plc, "Line1.DRIVES.Fault")), "DB10.DBX6.1");
    EXPECT_EQ(describeAddress(tagNamed(plc, "Line1.PROCESS.Counter")), "DB10.DBD12");
    EXPECT_EQ(describeAddress(tagNamed(plc, "Line1.PROCESS.Recipe")), "DB10.DBB20[16]");
}

TEST_F(SampleTest, ReadOnlyTagsDecodeToReadableValuesThatMove)
{
    std::set<float> currents, temperatures;
    std::set<bool> running, fault;
    std::set<int64_t> levels;
    for (uint64_t step = 0; step < 200; ++step) {
        animation->apply(*simulator, step);
        const opc::SOCmnVariant current = at("Line1.DRIVES.Current");
        const opc::SOCmnVariant temperature = at("Line1.PROCESS.Temperature");
        ASSERT_EQ(current.getType(), orva::VT_R4);
        EXPECT_GE(current.toDouble(), 20.0);
        EXPECT_LE(current.toDouble(), 80.0);
        EXPECT_GE(temperature.toDouble(), 20.0);
        EXPECT_LE(temperature.toDouble(), 80.0);
        currents.insert(static_cast<float>(current.toDouble()));
        temperatures.insert(static_cast<float>(temperature.toDouble()));
        running.insert(at("Line1.DRIVES.Running").toBool());
        fault.insert(at("Line1.DRIVES.Fault").toBool());
        EXPECT_EQ(at("Line1.PROCESS.Counter").toInt64(), static_cast<int64_t>(step));
        EXPECT_EQ(at("Line1.Alarm").toInt64(), static_cast<int64_t>(step));
        const int64_t level = at("Line1.PROCESS.Level").toInt64();
        EXPECT_GE(level, 0);
        EXPECT_LE(level, 10000);
        levels.insert(level);
    }
    EXPECT_GT(currents.size(), 20u);
    EXPECT_GT(temperatures.size(), 20u);
    EXPECT_EQ(running.size(), 2u);  // both bits of byte 6 toggle, each at its own rate
    EXPECT_EQ(fault.size(), 2u);
    EXPECT_GT(levels.size(), 100u);
    // Two REALs of the same type do not move in lockstep.
    EXPECT_NE(at("Line1.DRIVES.Current").toDouble(), at("Line1.PROCESS.Temperature").toDouble());
}

TEST_F(SampleTest, WritableTagsKeepTheirStartValueAndWhatClientsWrite)
{
    const opc::SOCmnVariant speed = at("Line1.DRIVES.Speed");
    EXPECT_GT(speed.toInt64(), 0);
    EXPECT_LE(speed.toInt64(), 1500);
    const std::string recipe = text(at("Line1.PROCESS.Recipe"));
    EXPECT_EQ(recipe.rfind("Recipe ", 0), 0u) << recipe;
    EXPECT_EQ(at("Line1.PROCESS.Setpoints").getArrayLength(), 8u);

    // A client writes Mode and Offset, as the server encodes the writes.
    const ConfigTag& mode = tagNamed(plc, "Line1.Mode");
    const ConfigTag& offset = tagNamed(plc, "Line1.Offset");
    opc::SOCmnVariant written;
    written.setUI1(7);
    std::vector<uint8_t> bytes(1);
    orva::core::valueToBytes(mode.layout, written, bytes);
    ASSERT_TRUE(simulator->writeMemory(mode.dataBlock, mode.dataByte, bytes));
    written.setI1(-12);
    orva::core::valueToBytes(offset.layout, written, bytes);
    ASSERT_TRUE(simulator->writeMemory(offset.dataBlock, offset.dataByte, bytes));

    const opc::SOCmnVariant setpoints = at("Line1.PROCESS.Setpoints");
    const opc::SOCmnVariant valves = at("Line1.PROCESS.Valves");
    for (uint64_t step = 0; step < 100; ++step)
        animation->apply(*simulator, step);
    EXPECT_EQ(at("Line1.Mode").toInt64(), 7);
    EXPECT_EQ(at("Line1.Offset").toInt64(), -12);
    EXPECT_EQ(at("Line1.DRIVES.Speed"), speed);
    EXPECT_EQ(text(at("Line1.PROCESS.Recipe")), recipe);
    EXPECT_EQ(at("Line1.PROCESS.Setpoints"), setpoints);
    EXPECT_EQ(at("Line1.PROCESS.Valves"), valves);
}

TEST(ConfigTags, ThePlcIsChosenByNameThenAddressThenFirst)
{
    const std::string file = tornelFile(
        plcXml("A", "127.0.0.1:10200", tagXml("T", "VT_I2", 1, 0, "READ")) +
        plcXml("B", "127.0.0.2", tagXml("U", "VT_R4", 2, 100, "READ") + tagXml("W", "VT_R8", 2, 0, "READ")));
    ConfigPlc plc;
    std::string error;
    ASSERT_TRUE(loadConfigPlcFromMemory(file, {"B", ""}, plc, error));
    EXPECT_EQ(plc.name, "B");
    ASSERT_EQ(plc.tags.size(), 1u);
    EXPECT_EQ(plc.tags[0].itemId, "B.U");
    EXPECT_EQ(plc.skipped, std::vector<std::string>{"B.W"});  // VT_R8: the server never reads it
    EXPECT_EQ((std::map<uint16_t, size_t>{{2, 104}}), plc.dataBlocks);

    ASSERT_TRUE(loadConfigPlcFromMemory(file, {"", "127.0.0.2:102"}, plc, error));
    EXPECT_EQ(plc.name, "B");
    ASSERT_TRUE(loadConfigPlcFromMemory(file, {"", "127.0.0.1:10200"}, plc, error));
    EXPECT_EQ(plc.name, "A");
    ASSERT_TRUE(loadConfigPlcFromMemory(file, {"", "127.0.0.9:10102"}, plc, error));
    EXPECT_EQ(plc.name, "A");

    EXPECT_FALSE(loadConfigPlcFromMemory(file, {"C", ""}, plc, error));
    EXPECT_NE(error.find("no PLC named C"), std::string::npos);
    EXPECT_FALSE(loadConfigPlcFromMemory(tornelFile(""), {"", ""}, plc, error));
    EXPECT_FALSE(loadConfigPlcFromMemory("not xml", {"", ""}, plc, error));
    EXPECT_FALSE(loadConfigPlc("/nonexistent/plcsim.xml", {"", ""}, plc, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST(TagAnimation, ArraysMoveOneElementPerStepAndSharedBytesKeepForeignBits)
{
    const std::string file = tornelFile(plcXml(
        "P", "127.0.0.1:10102",
        tagXml("Ints", "VT_I2 ARRAY", 3, 0, "READ", "<elements>5</elements>") +
            tagXml("Reals", "VT_R4 ARRAY", 3, 10, "READ", "<elements>3</elements>") +
            tagXml("Lights", "VT_BOOL ARRAY", 3, 22, "READ", "<databit>2</databit><elements>4</elements>") +
            tagXml("Lamp", "VT_BOOL", 3, 22, "READWRITE", "<databit>0</databit>") +
            tagXml("Name", "VT_BSTR", 3, 24, "READ", "<elements>6</elements>")));
    ConfigPlc plc;
    std::string error;
    ASSERT_TRUE(loadConfigPlcFromMemory(file, {"", ""}, plc, error)) << error;
    SimulatorOptions options;
    options.dataBlocks = plc.dataBlocks;
    PlcSimulator simulator(options);
    const TagAnimation animation(plc.tags, 200ms);
    EXPECT_EQ(animation.animatedCount(), 4u);
    animation.seed(simulator);
    ASSERT_TRUE(simulator.writeMemory(3, 22, std::vector<uint8_t>{0x01}));  // a client sets Lamp
    bool called = false;
    EXPECT_FALSE(simulator.updateMemory(3, 20, 100, [&](std::span<uint8_t>) { called = true; }));
    EXPECT_FALSE(simulator.updateMemory(4, 0, 1, [&](std::span<uint8_t>) { called = true; }));
    EXPECT_FALSE(called);

    const ConfigTag& ints = tagNamed(plc, "P.Ints");
    const ConfigTag& reals = tagNamed(plc, "P.Reals");
    opc::SOCmnVariant before = decode(simulator, ints);
    for (uint64_t step = 1; step < 40; ++step) {
        animation.apply(simulator, step);
        const opc::SOCmnVariant now = decode(simulator, ints);
        for (std::size_t k = 0; k < 5; ++k) {
            if (k == step % 5)
                EXPECT_NE(now.getArrayInt(k), before.getArrayInt(k)) << step;
            else
                EXPECT_EQ(now.getArrayInt(k), before.getArrayInt(k)) << step;
            EXPECT_GE(now.getArrayInt(k), 0);
            EXPECT_LT(now.getArrayInt(k), 1000);
        }
        before = now;
        const opc::SOCmnVariant r = decode(simulator, reals);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_GE(r.getArrayDouble(k), 20.0);
            EXPECT_LE(r.getArrayDouble(k), 120.0);
        }
        // A running light: exactly one of the four bits is on, and it is the step's one.
        const opc::SOCmnVariant lights = decode(simulator, tagNamed(plc, "P.Lights"));
        int on = 0;
        for (std::size_t k = 0; k < 4; ++k)
            on += lights.getArrayInt(k) != 0 ? 1 : 0;
        EXPECT_EQ(on, 1);
        EXPECT_NE(lights.getArrayInt(step % 4), 0);
        EXPECT_TRUE(decode(simulator, tagNamed(plc, "P.Lamp")).toBool());
        // Six characters hold "Recipe" only: the text is cut to the tag's length.
        EXPECT_EQ(text(decode(simulator, tagNamed(plc, "P.Name"))), "Recipe");
    }
}

}  // namespace
}  // namespace orva::plcsim
