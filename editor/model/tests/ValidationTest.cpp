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

    // One text box after another: each step types a value and expects the check's message.
    template <class Form>
    struct Typed {
        std::string Form::*box;
        std::string value;
        std::string message;
    };
    void typeAndCheck(ItemForm& form, std::initializer_list<Typed<ItemForm>> steps)
    {
        for (const auto& step : steps) {
            form.*step.box = step.value;
            EXPECT_EQ(itemCheck(form), step.message) << step.value;
        }
    }
    void typeAndCheck(PlcForm& form, std::initializer_list<Typed<PlcForm>> steps)
    {
        for (const auto& step : steps) {
            form.*step.box = step.value;
            EXPECT_EQ(plcCheck(form), step.message) << step.value;
        }
    }
};

constexpr const char* kByteRange = "Data Byte field is not valid. It must be between 0 and 65535.";
constexpr const char* kIpAddress =
    "Address field is not valid. It must be an IP address (a.b.c.d), optionally followed by :port (1 to "
    "65535).";

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
    typeAndCheck(
        form, {{&ItemForm::address, "65535", ""},
               {&ItemForm::address, "65536", kByteRange},
               {&ItemForm::address, "12abc", ""},
               {&ItemForm::address, "abc", ""},  // no leading number reads as 0
               {&ItemForm::address, "", "Data Byte field is empty."},
               {&ItemForm::block, "", "Data Byte field is empty."},
               {&ItemForm::address, "-1", kByteRange},
               {&ItemForm::address, "1", "Data Block field is empty."},
               {&ItemForm::block, "70000", "Data Block field is not valid. It must be between 0 and 65535."},
               {&ItemForm::block, "1", ""},
               {&ItemForm::bit, "15", ""},
               {&ItemForm::bit, "16", "Bit number field is not valid. It must be between 0 and 15."}});
    form.bitEnabled = false;
    EXPECT_EQ(itemCheck(form), "") << "a disabled box is not checked";
    EditorModel::changeDataType(form, "string");
    typeAndCheck(form, {{&ItemForm::elements, "", "Number of elements field is empty."},
                        {&ItemForm::elements, "-3", "Number of elements field is not valid."},
                        {&ItemForm::elements, "65536", "Number of elements field is not valid."},
                        {&ItemForm::name, "", "Item name field is empty."}});
}

TEST_F(ValidationTest, NamesThatKeysOrTheFileCannotCarryAreRefusedWherePeopleTypeThem)
{
    // The proposed default names hold a space, which keys and the file carry well.
    ItemForm form = itemForm("New Item 1", "boolean", 0, 0);
    EXPECT_EQ(itemCheck(form), "");
    typeAndCheck(form, {{&ItemForm::name, "a.b", "Character (.) not acceptable in string a.b"},
                        {&ItemForm::name, "a<b", "Character (<) not acceptable in string a<b"}});

    const std::pair<const char*, const char*> refusedBranches[] = {
        {"Tag", "Name (Tag) not acceptable for a branch"},
        {"1ST", "Character (1) not acceptable at the beginning of string 1ST"},
        {"A,B", "Character (,) not acceptable in string A,B"},
        {"", "Name field is empty."},
        {" B", "Character ( ) not acceptable at the beginning of string  B"}};
    for (const auto& [name, message] : refusedBranches) {
        EXPECT_FALSE(model.addBranch("P", name).done) << name;
        EXPECT_EQ(ui.lastMessage(), message);
    }
    EXPECT_FALSE(model.addBranch("P", "A&B").done);
    EXPECT_TRUE(model.addBranch("P", "_Zone-2\xC3\xA9").done);
    EXPECT_FALSE(model.renameBranch("P.B", "B C").done);
    EXPECT_EQ(ui.lastMessage(), "Character ( ) not acceptable in string B C");

    PlcForm plc = model.newPlcForm();
    EXPECT_EQ(plcCheck(plc), "");
    plc.name = "Line.1";
    EXPECT_EQ(plcCheck(plc), "Character (.) not acceptable in string Line.1");
}

TEST_F(ValidationTest, PlcFieldsByServerKind)
{
    PlcForm form = model.newPlcForm();
    typeAndCheck(form,
                 {{&PlcForm::name, "Q", ""},
                  {&PlcForm::rack, "127", ""},
                  {&PlcForm::rack, "128", "rack number must be between 0 and 127."},
                  {&PlcForm::rack, "127", ""},
                  // The server skips a PLC whose address or source is longer than 15 characters.
                  {&PlcForm::address, "127.0.0.1:10102", ""},
                  {&PlcForm::source, "192.168.100.100", ""},
                  {&PlcForm::source, "192.168.100.100:1",
                   "Source field is not valid. It must be at most 15 characters."},
                  {&PlcForm::address, "192.168.100.100:1",
                   "Address field is not valid. It must be at most 15 characters."},
                  {&PlcForm::source, "", "Address field is not valid. It must be at most 15 characters."},
                  // The address as the server's access library reads it.
                  {&PlcForm::address, "999.1.1.1:abc", kIpAddress},
                  {&PlcForm::address, "999.1.1.1", kIpAddress},
                  {&PlcForm::address, "10.0.0.1:0", kIpAddress},
                  {&PlcForm::address, "10.0.0.1:65536", kIpAddress},
                  {&PlcForm::address, "plc-7", kIpAddress},
                  {&PlcForm::address, "10.0.0", kIpAddress},
                  {&PlcForm::address, "10.0.0.1:65535", ""},
                  {&PlcForm::address, "10.0.0.1", ""},
                  {&PlcForm::rack, "x", "Rack number is not valid."},
                  {&PlcForm::slot, "12abc", "Slot number is not valid."},
                  {&PlcForm::slot, "128", "Slot number must be between 0 and 127."},
                  {&PlcForm::address, "", "Address field is empty."},
                  {&PlcForm::name, "", "Name field is empty."}});

    model.serverType = ServerKind::Pennat;
    form = PlcForm{};
    form.name = "Q";
    form.address = "2";
    form.slot = " 5 ";
    form.rack = "not checked";
    EXPECT_EQ(plcCheck(form), "");
    // An MPI address must be a number the server can read.
    typeAndCheck(form, {{&PlcForm::address, "MPI2", "Address field is not valid."},
                        {&PlcForm::address, "2x", "Address field is not valid."},
                        {&PlcForm::address, "-1", "Address field is not valid."},
                        {&PlcForm::address, "65536", "Address field is not valid."},
                        {&PlcForm::address, " 65535 ", ""}});
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
    const std::pair<RedundancyForm, const char*> refused[] = {
        {{true, " ", "", "1", "1", "1", "1", "1"}, "Missing Slave Address."},
        {{true, "10.0.0.2", "", "x", "1", "1", "1", "1"}, "Check Status Word Block."},
        {{true, "10.0.0.2", "", "1", "", "1", "1", "1"}, "Check Status Word Byte."},
        {{true, "10.0.0.2", "", "1", "1", "a", "1", "1"}, "Check Status Word Bit."},
        {{true, "10.0.0.2", "", "1", "1", "1", "1x", "1"}, "Check Command Word Byte."},
        {{true, "10.0.0.2", "", "1", "1", "1", "1", ""}, "Check Command Word Bit."},
        // Values the server cannot hold would make it ignore the redundancy.
        {{true, "10.0.0.2", "", "65536", "1", "1", "1", "1"}, "Check Status Word Block."},
        {{true, "10.0.0.2", "", "1", "-1", "1", "1", "1"}, "Check Status Word Byte."},
        {{true, "10.0.0.2", "", "1", "1", "1", "70000", "1"}, "Check Command Word Byte."},
        {{true, "10.0.0.2:abc", "", "1", "1", "1", "1", "1"},
         "Slave Address is not valid. It must be an IP address (a.b.c.d), optionally followed by :port (1 to "
         "65535)."},
        {{true, "192.168.100.100:1", "", "1", "1", "1", "1", "1"},
         "Slave Address is not valid. It must be at most 15 characters."},
        {{true, "10.0.0.2", "192.168.100.100:1", "1", "1", "1", "1", "1"},
         "Slave Source is not valid. It must be at most 15 characters."}};
    for (const auto& [form, message] : refused) {
        EXPECT_EQ(red(form), message) << form.address;
        EXPECT_FALSE(plc.bRedundant);
    }
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
