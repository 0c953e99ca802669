// Name and field checks, with the messages the user sees.
#include "TestModel.h"

namespace orva::editor::test {
namespace {

class ValidationTest : public ModelTest {
protected:
    void SetUp() override
    {
        newPlcWithBranch(ServerKind::Tornel, "x");
        addItem(model, "P.B", "SPEED");
    }

    // The message of a failed item check, or "" when the form passes.
    std::string itemCheck(const ItemForm& form)
    {
        ui.messages.clear();
        const bool ok = model.CheckFields(form);
        EXPECT_EQ(ok, ui.messages.empty());
        return ui.lastMessage();
    }

    std::string plcCheck(const PlcForm& form)
    {
        ui.messages.clear();
        const bool ok = model.CheckFields(form);
        EXPECT_EQ(ok, ui.messages.empty());
        return ui.lastMessage();
    }
};

TEST_F(ValidationTest, DuplicateNamesIgnoreCaseAndCompareBranchesWithItems)
{
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Item, "speed", "P.B", true));
    EXPECT_EQ(ui.lastMessage(), "Name already existing. Please use a different name");
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Branch, "Speed", "P.B", true));
    EXPECT_TRUE(model.CheckDuplNames(ObjectKind::Item, "Speed2", "P.B", true));
    // Modifying: an object keeps its own name, in any letter case.
    EXPECT_TRUE(model.CheckDuplNames(ObjectKind::Item, "speed", "P.B.SPEED", false));
    addItem(model, "P", "Level");
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Branch, "LEVEL", "P.B", false))
        << "a branch renamed to a sibling item's name is refused";
    EXPECT_FALSE(model.renameBranch("P.B", "level").done);
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Item, "b", "P.Level", false));
    EXPECT_TRUE(model.CheckDuplNames(ObjectKind::Plc, "P2", "", true));
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Plc, "p", "", true));
    EXPECT_FALSE(model.CheckDuplNames(ObjectKind::Item, "x", "no.such.node", true));
    EXPECT_EQ(ui.lastMessage(), " Error n. 35601  Element not found in CheckDuplNames");
}

TEST_F(ValidationTest, CheckCharsReportsTheFirstCharacterOfItsList)
{
    EXPECT_TRUE(model.CheckChars("Motor_1-a"));
    EXPECT_FALSE(model.CheckChars("a,b c"));
    EXPECT_EQ(ui.lastMessage(), "Character ( ) not acceptable in string a,b c");
    const std::pair<const char*, const char*> cases[] = {
        {"a.b", "Character (.) not acceptable in string a.b"},
        {"a,b", "Character (,) not acceptable in string a,b"},
        {"a:b", "Character (:) not acceptable in string a:b"},
        {"a;b", "Character (;) not acceptable in string a;b"},
        {"a\\b", "Character (\\) not acceptable in string a\\b"},
        {"a/b", "Character (/) not acceptable in string a/b"},
        {"a|b", "Character (|) not acceptable in string a|b"}};
    for (const auto& [name, text] : cases) {
        EXPECT_FALSE(model.CheckChars(name));
        EXPECT_EQ(ui.lastMessage(), text);
    }
}

TEST_F(ValidationTest, KeyFilters)
{
    for (const char c : std::string("-_09AZaz\b"))
        EXPECT_TRUE(EditorModel::itemNameKeyFilter(c)) << c;
    for (const char c : std::string(" .,;:/\\|<&\t"))
        EXPECT_FALSE(EditorModel::itemNameKeyFilter(c)) << c;
    for (const char c : std::string("0123456789-.\b\t\n\r "))
        EXPECT_TRUE(EditorModel::numberKeyFilter(c)) << int(c);
    for (const char c : std::string("aZ+,e"))
        EXPECT_FALSE(EditorModel::numberKeyFilter(c)) << c;
}

TEST_F(ValidationTest, ItemFieldsInOrderWithTheirRanges)
{
    ItemForm form = itemForm("X", "boolean", 0, 0);
    EXPECT_EQ(itemCheck(form), "");
    form.address = "65535";
    EXPECT_EQ(itemCheck(form), "");
    form.address = "65536";
    EXPECT_EQ(itemCheck(form), "Data Byte field is not valid. It must be between 0 and 65535.");
    form.address = "12abc";
    EXPECT_EQ(itemCheck(form), "");
    form.address = "abc";
    EXPECT_EQ(itemCheck(form), "") << "no leading number reads as 0";
    form.address = "";
    form.block = "";
    EXPECT_EQ(itemCheck(form), "Data Byte field is empty.");
    form.address = "-1";
    EXPECT_EQ(itemCheck(form), "Data Byte field is not valid. It must be between 0 and 65535.");
    form.address = "1";
    EXPECT_EQ(itemCheck(form), "Data Block field is empty.");
    form.block = "70000";
    EXPECT_EQ(itemCheck(form), "Data Block field is not valid. It must be between 0 and 65535.");
    form.block = "1";
    form.bit = "15";
    EXPECT_EQ(itemCheck(form), "");
    form.bit = "16";
    EXPECT_EQ(itemCheck(form), "Bit number field is not valid. It must be between 0 and 15.");
    form.bitEnabled = false;
    EXPECT_EQ(itemCheck(form), "") << "a disabled box is not checked";
    EditorModel::changeDataType(form, "string");
    form.elements = "";
    EXPECT_EQ(itemCheck(form), "Number of elements field is empty.");
    form.elements = "-3";
    EXPECT_EQ(itemCheck(form), "Number of elements field is not valid.");
    form.elements = "65536";
    EXPECT_EQ(itemCheck(form), "Number of elements field is not valid.");
    form.name = "";
    EXPECT_EQ(itemCheck(form), "Item name field is empty.");
}

TEST_F(ValidationTest, NamesThatKeysOrTheFileCannotCarryAreRefusedWherePeopleTypeThem)
{
    // The proposed default names hold a space, which keys and the file carry well.
    ItemForm form = itemForm("New Item 1", "boolean", 0, 0);
    EXPECT_EQ(itemCheck(form), "");
    form.name = "a.b";
    EXPECT_EQ(itemCheck(form), "Character (.) not acceptable in string a.b");
    form.name = "a<b";
    EXPECT_EQ(itemCheck(form), "Character (<) not acceptable in string a<b");

    EXPECT_FALSE(model.addBranch("P", "Tag").done);
    EXPECT_EQ(ui.lastMessage(), "Name (Tag) not acceptable for a branch");
    EXPECT_FALSE(model.addBranch("P", "1ST").done);
    EXPECT_EQ(ui.lastMessage(), "Character (1) not acceptable at the beginning of string 1ST");
    EXPECT_FALSE(model.addBranch("P", "A,B").done);
    EXPECT_EQ(ui.lastMessage(), "Character (,) not acceptable in string A,B");
    EXPECT_FALSE(model.addBranch("P", "").done);
    EXPECT_EQ(ui.lastMessage(), "Name field is empty.");
    EXPECT_FALSE(model.addBranch("P", "A&B").done);
    EXPECT_TRUE(model.addBranch("P", "_Zone-2\xC3\xA9").done);
    EXPECT_FALSE(model.renameBranch("P.B", "B C").done);
    EXPECT_EQ(ui.lastMessage(), "Character ( ) not acceptable in string B C");

    EXPECT_FALSE(model.addBranch("P", " B").done);
    EXPECT_EQ(ui.lastMessage(), "Character ( ) not acceptable at the beginning of string  B");

    PlcForm plc = model.newPlcForm();
    EXPECT_EQ(plcCheck(plc), "");
    plc.name = "Line.1";
    EXPECT_EQ(plcCheck(plc), "Character (.) not acceptable in string Line.1");
}

TEST_F(ValidationTest, PlcFieldsByServerKind)
{
    PlcForm form = model.newPlcForm();
    form.name = "Q";
    EXPECT_EQ(plcCheck(form), "");
    form.rack = "127";
    EXPECT_EQ(plcCheck(form), "");
    form.rack = "128";
    EXPECT_EQ(plcCheck(form), "rack number must be between 0 and 127.");
    // The server skips a PLC whose address or source is longer than 15 characters.
    form.rack = "127";
    form.address = "127.0.0.1:10102";
    form.source = "192.168.100.100";
    EXPECT_EQ(plcCheck(form), "");
    form.source = "192.168.100.100:1";
    EXPECT_EQ(plcCheck(form), "Source field is not valid. It must be at most 15 characters.");
    form.address = "192.168.100.100:1";
    EXPECT_EQ(plcCheck(form), "Address field is not valid. It must be at most 15 characters.");
    // The address as the server's access library reads it.
    form.source.clear();
    for (const char* bad :
         {"999.1.1.1:abc", "999.1.1.1", "10.0.0.1:0", "10.0.0.1:65536", "plc-7", "10.0.0"}) {
        form.address = bad;
        EXPECT_EQ(
            plcCheck(form),
            "Address field is not valid. It must be an IP address (a.b.c.d), optionally followed by :port (1 "
            "to 65535).")
            << bad;
    }
    form.address = "10.0.0.1:65535";
    EXPECT_EQ(plcCheck(form), "");
    form.address = "10.0.0.1";
    form.rack = "x";
    EXPECT_EQ(plcCheck(form), "Rack number is not valid.");
    form.slot = "12abc";
    EXPECT_EQ(plcCheck(form), "Slot number is not valid.");
    form.slot = "128";
    EXPECT_EQ(plcCheck(form), "Slot number must be between 0 and 127.");
    form.address = "";
    EXPECT_EQ(plcCheck(form), "Address field is empty.");
    form.name = "";
    EXPECT_EQ(plcCheck(form), "Name field is empty.");

    model.serverType = ServerKind::Pennat;
    form = PlcForm{};
    form.name = "Q";
    form.address = "2";
    form.slot = " 5 ";
    form.rack = "not checked";
    EXPECT_EQ(plcCheck(form), "");
    // An MPI address must be a number the server can read.
    for (const char* bad : {"MPI2", "2x", "-1", "65536"}) {
        form.address = bad;
        EXPECT_EQ(plcCheck(form), "Address field is not valid.") << bad;
    }
    form.address = " 65535 ";
    EXPECT_EQ(plcCheck(form), "");
    model.serverType = ServerKind::Vardel;
    EXPECT_EQ(plcCheck(PlcForm{.name = "OnlyAName"}), "");
}

TEST_F(ValidationTest, RedundancyAndSettingsDialogs)
{
    PlcForm plc;
    const auto red = [&](RedundancyForm form) {
        ui.messages.clear();
        model.applyRedundancy(form, plc);
        return ui.lastMessage();
    };
    EXPECT_EQ(red({true, " ", "", "1", "1", "1", "1", "1"}), "Missing Slave Address.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "x", "1", "1", "1", "1"}), "Check Status Word Block.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "", "1", "1", "1"}), "Check Status Word Byte.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "1", "a", "1", "1"}), "Check Status Word Bit.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "1", "1", "1x", "1"}), "Check Command Word Byte.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "1", "1", "1", ""}), "Check Command Word Bit.");
    EXPECT_FALSE(plc.bRedundant);
    // Values the server cannot hold would make it ignore the redundancy.
    EXPECT_EQ(red({true, "10.0.0.2", "", "65536", "1", "1", "1", "1"}), "Check Status Word Block.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "-1", "1", "1", "1"}), "Check Status Word Byte.");
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "1", "1", "70000", "1"}), "Check Command Word Byte.");
    EXPECT_EQ(
        red({true, "10.0.0.2:abc", "", "1", "1", "1", "1", "1"}),
        "Slave Address is not valid. It must be an IP address (a.b.c.d), optionally followed by :port (1 to "
        "65535).");
    EXPECT_EQ(red({true, "192.168.100.100:1", "", "1", "1", "1", "1", "1"}),
              "Slave Address is not valid. It must be at most 15 characters.");
    EXPECT_EQ(red({true, "10.0.0.2", "192.168.100.100:1", "1", "1", "1", "1", "1"}),
              "Slave Source is not valid. It must be at most 15 characters.");
    EXPECT_FALSE(plc.bRedundant);
    EXPECT_EQ(red({true, "10.0.0.2", "", "1", "1", "300", "1", "1"}), " Error n. 6  Overflow in cmdOK_Click");
    EXPECT_FALSE(plc.bRedundant) << "nothing taken from a form that failed";
    EXPECT_EQ(red({true, " 10.0.0.2 ", " S ", "1", "2", "3", "4", "5"}), "");
    EXPECT_TRUE(plc.bRedundant);
    EXPECT_EQ(plc.sSlave, "10.0.0.2");
    EXPECT_EQ(plc.sSourceSlave, "S");
    EXPECT_EQ(plc.nCmdBit, 5);
    EXPECT_EQ(red({false}), "");
    EXPECT_FALSE(plc.bRedundant);
    EXPECT_TRUE(plc.sSlave.empty());
    EXPECT_EQ(plc.nCmdBit, 5) << "the numbers keep their values";

    SettingsForm settings = model.settingsForm();
    settings.iface = "   ";
    EXPECT_FALSE(model.applySettings(settings));
    EXPECT_EQ(ui.lastMessage(), "Empty Interface field name");
    model.serverType = ServerKind::Lorvik;
    settings.master = "x";
    EXPECT_FALSE(model.applySettings(settings));
    EXPECT_EQ(ui.lastMessage(), "Invalid master Id");
    model.serverType = ServerKind::Pennat;
    EXPECT_FALSE(model.applySettings(settings));
}

TEST_F(ValidationTest, AddingAndModifyingClearTheSavedFlag)
{
    model.isSaved = true;
    EXPECT_FALSE(model.AddItemToColl("P.B", itemForm("speed", "boolean", 0, 0), false).done);
    EXPECT_TRUE(model.isSaved) << "a refused add changes nothing";
    EXPECT_TRUE(model.AddItemToColl("P.B", itemForm("Other", "boolean", 0, 0), false).done);
    EXPECT_FALSE(model.isSaved);
}

}  // namespace
}  // namespace orva::editor::test
