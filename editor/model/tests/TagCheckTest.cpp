// Items checked against the simulated PLC through the server's access library.
#include <atomic>
#include <cstring>
#include <map>

#include "TestModel.h"
#include "editor/TagCheck.h"
#include "plcsim/PlcSimulator.h"

namespace orva::editor::test {
namespace {

using namespace std::chrono_literals;

class TagCheckTest : public ModelTest {
protected:
    void SetUp() override
    {
        plcsim::SimulatorOptions options;
        options.dataBlocks = {{1, 64}, {2, 16}};
        sim = std::make_unique<plcsim::PlcSimulator>(options);
        ASSERT_TRUE(sim->start());
        const uint8_t values[] = {0xFF, 0xFE, 0x08, 0x00, 0x3F, 0xC0, 0x00, 0x00, 'A',
                                  'B',  'C',  0,    0,    0x00, 0x01, 0x00, 0x02, 0xE9};
        ASSERT_TRUE(sim->writeMemory(1, 0, values));

        model.newConfiguration(ServerKind::Tornel, "x");
        addPlcAt("Line1", sim->endpoint());
        addBranch(model, "Line1", "B");
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Level", "signed 16 bit", 0, 1), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Run", "boolean", 2, 1, 3), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Stop", "boolean", 2, 1, 2), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Ratio", "32 bit float", 4, 1), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Text", "string", 8, 1, 0, 5), false).done);
        ASSERT_TRUE(
            model.AddItemToColl("Line1.B", itemForm("Pair", "unsigned 16 bit array", 13, 1, 0, 2), false)
                .done);
        ASSERT_TRUE(model.AddItemToColl("Line1.B", itemForm("Latin", "string", 17, 1, 0, 1), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1", itemForm("Guarded1", "unsigned 8 bit", 0, 2), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1", itemForm("Guarded2", "unsigned 8 bit", 1, 2), false).done);
        ASSERT_TRUE(model.AddItemToColl("Line1", itemForm("Missing", "unsigned 8 bit", 0, 9), false).done);
    }

    void addPlcAt(const std::string& name, const std::string& address)
    {
        PlcForm form = model.newPlcForm();
        form.name = name;
        form.address = address;
        ASSERT_TRUE(model.applyPlcForm("", form, false).done) << ui.lastMessage();
    }

    struct Outcome {
        std::map<std::string, ItemCheck> items;
        std::map<std::string, std::string> unreachable;
        int reportsOfUnreachable = 0;
    };
    Outcome check(const std::vector<std::string>& keys)
    {
        Outcome outcome;
        std::atomic<bool> cancel{false};
        TagCheck::forNodes(model, keys)
            .run(
                cancel, [&](const ItemCheck& item) { outcome.items[item.key] = item; },
                [&](const std::string& plc, const std::string& error) {
                    outcome.unreachable[plc] = error;
                    ++outcome.reportsOfUnreachable;
                },
                TagCheck::Timeouts{1000ms, 1000ms});
        return outcome;
    }

    std::unique_ptr<plcsim::PlcSimulator> sim;
};

TEST_F(TagCheckTest, ValuesAccessErrorsAndAStoppedPlc)
{
    plcsim::Faults faults;
    faults.accessError = 0x05;  // address out of range, for data block 2 alone
    faults.accessErrorBlock = 2;
    sim->setFaults(faults);

    // A second PLC whose simulator has stopped: reported once, not per item.
    plcsim::PlcSimulator stopped;
    ASSERT_TRUE(stopped.start());
    const std::string deadEndpoint = stopped.endpoint();
    stopped.stop();
    addPlcAt("Line2", deadEndpoint);
    for (const char* name : {"A", "B", "C"})
        ASSERT_TRUE(model.AddItemToColl("Line2", itemForm(name, "signed 16 bit", 0, 1), false).done);

    const Outcome outcome = check({""});
    EXPECT_EQ(outcome.items.at("Line1.B.Level").text, "-2");
    EXPECT_EQ(outcome.items.at("Line1.B.Run").text, "TRUE");
    EXPECT_EQ(outcome.items.at("Line1.B.Stop").text, "FALSE");
    EXPECT_EQ(outcome.items.at("Line1.B.Ratio").text, "1.5");
    EXPECT_EQ(outcome.items.at("Line1.B.Text").text, "\"ABC\"");
    EXPECT_EQ(outcome.items.at("Line1.B.Pair").text, "[1, 2]");
    EXPECT_EQ(outcome.items.at("Line1.B.Latin").text, "\"\xc3\xa9\"");
    for (const char* key : {"Line1.B.Level", "Line1.B.Run", "Line1.B.Ratio", "Line1.B.Text"})
        EXPECT_TRUE(outcome.items.at(key).ok) << key;
    for (const char* key : {"Line1.Guarded1", "Line1.Guarded2"}) {
        EXPECT_FALSE(outcome.items.at(key).ok);
        EXPECT_NE(outcome.items.at(key).text.find("(81)"), std::string::npos) << outcome.items.at(key).text;
    }
    EXPECT_NE(outcome.items.at("Line1.Missing").text.find("(80)"), std::string::npos);

    EXPECT_EQ(outcome.reportsOfUnreachable, 1);
    ASSERT_TRUE(outcome.unreachable.contains("Line2"));
    EXPECT_NE(outcome.unreachable.at("Line2").find("(20)"), std::string::npos)
        << outcome.unreachable.at("Line2");
    EXPECT_FALSE(outcome.items.contains("Line2.A"));

    // Nothing was written, and only the selection is read.
    for (const auto& request : sim->requests())
        EXPECT_FALSE(request.write);
    EXPECT_EQ(check({"Line1.B.Run"}).items.size(), 1u);
}

}  // namespace
}  // namespace orva::editor::test
