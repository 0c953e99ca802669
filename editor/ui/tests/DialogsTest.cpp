// The PLC, redundancy, settings, branch and item dialogs driven through their widgets.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "UiTestSupport.h"

namespace orva::editor::ui::test {
namespace {

using Dialogs = WindowTest;

QStringList entries(QDialog& d, const char* name)
{
    QStringList list;
    if (auto* combo = child<QComboBox>(d, name))
        for (int i = 0; i < combo->count(); ++i)
            list << combo->itemText(i);
    return list;
}

TEST_F(Dialogs, ServerKindDialogOffersFourKindsSapiFirst)
{
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_TRUE(child<QRadioButton>(d, "optS7")->isChecked());
        EXPECT_EQ(child<QRadioButton>(d, "optS7")->text(), "Siemens S7 SAPI");
        EXPECT_EQ(child<QRadioButton>(d, "optMPI")->text(), "Siemens S7 MPI");
        EXPECT_EQ(child<QRadioButton>(d, "optTcpIpS7")->text(), "Tcp/Ip S7");
        EXPECT_EQ(child<QRadioButton>(d, "optMpiE")->text(), "Serial MPI Emulated");
        click(d, "cmdOk");
    });
    trigger("mnuNewCfg");
    EXPECT_EQ(window->model().serverType, ServerKind::Vardel);
}

TEST_F(Dialogs, TornelPlcDefaultsAndRedundancy)
{
    newConfiguration("optTcpIpS7");
    clickNode("");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "PLC Properties");
        EXPECT_EQ(text(d, "txtName"), "New Plc 0");
        EXPECT_EQ(text(d, "txtAddress"), "192.168.0.1");
        EXPECT_EQ(text(d, "txtRack"), "0");
        EXPECT_EQ(text(d, "txtSlot"), "2");
        EXPECT_TRUE(child<QLineEdit>(d, "txtSource")->isEnabled());
        type(d, "txtName", "Press");
        click(d, "picRedundancy");  // runs the next two scripts in turn
        click(d, "picRedundancy");
        click(d, "cmdApply");
    });
    runner.scripts.push_back([this](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Communication Software Redundancy");
        EXPECT_FALSE(child<QLineEdit>(d, "txtAddress")->isEnabled());
        child<QCheckBox>(d, "chkRed")->setChecked(true);
        EXPECT_TRUE(child<QLineEdit>(d, "txtAddress")->isEnabled());
        click(d, "cmdOK");
        EXPECT_EQ(gui.lastMessage(), "Missing Slave Address.");
        EXPECT_TRUE(d.isVisible());
        type(d, "txtAddress", "192.168.0.2");
        type(d, "txtSource", "");
        type(d, "txtBlock", "100");
        type(d, "txtStatusByte", "0");
        type(d, "txtStatusBit", "1");
        type(d, "txtCmdByte", "2");
        type(d, "txtCmdBit", "3");
        click(d, "cmdOK");
        EXPECT_FALSE(d.isVisible());
    });
    runner.scripts.push_back([](QDialog& d) {
        // Opened again from the same PLC dialog, it shows what was confirmed.
        EXPECT_TRUE(child<QCheckBox>(d, "chkRed")->isChecked());
        EXPECT_EQ(text(d, "txtAddress"), "192.168.0.2");
        EXPECT_EQ(text(d, "txtBlock"), "100");
        click(d, "cmdOK");
    });
    press("plc");
    const auto plc = window->model().plcs.get("Press");
    ASSERT_TRUE(plc);
    EXPECT_TRUE(plc->bRedundant);
    EXPECT_EQ(plc->sSlave, "192.168.0.2");
    EXPECT_EQ(plc->nRedBlock, 100);
    EXPECT_EQ(plc->nCmdBit, 3);
    EXPECT_EQ(currentNode(), node("Press"));
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Press"}));
    EXPECT_EQ(window->model().isSaved, false);
}

TEST_F(Dialogs, VardelPlcTakesANameAloneAndRefusesADuplicate)
{
    newConfiguration("optS7");
    addPlc("P1");
    clickNode("");
    runner.scripts.push_back([this](QDialog& d) {
        EXPECT_FALSE(child<QLineEdit>(d, "txtAddress")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(d, "txtRack")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(d, "txtSlot")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(d, "txtSource")->isEnabled());
        type(d, "txtName", "p1");
        click(d, "cmdApply");
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(gui.messages.empty());
        click(d, "cmdExit");
    });
    press("plc");
    EXPECT_EQ(window->model().plcs.size(), 1u);
}

TEST_F(Dialogs, SerialPlcDefaultsAndRenamingAPlcRekeysEverythingBelow)
{
    newConfiguration("optMpiE");
    clickNode("");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_FALSE(child<QLineEdit>(d, "txtRack")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(d, "txtSource")->isEnabled());
        EXPECT_EQ(text(d, "txtAddress"), "2");
        EXPECT_EQ(text(d, "txtSlot"), "2");
        type(d, "txtName", "P1");
        click(d, "picRedundancy");  // nothing for serial PLCs: no dialog opens
        click(d, "cmdApply");
    });
    press("plc");
    addBranch("P1", "B");
    addItem("P1.B", "Level");
    clickNode("P1");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(text(d, "txtName"), "P1");
        EXPECT_FALSE(child<QLineEdit>(d, "txtRack")->isEnabled());
        type(d, "txtName", "P2");
        click(d, "cmdApply");
    });
    QTest::keyClick(window->tree(), Qt::Key_Return);
    EXPECT_FALSE(node("P1").isValid());
    ASSERT_TRUE(node("P2.B.Level").isValid());
    EXPECT_TRUE(window->model().items.contains("P2.B.Level"));
    EXPECT_TRUE(window->model().branches.contains("P2.B"));
    EXPECT_FALSE(window->model().branches.contains("P1.B"));
    EXPECT_EQ(runner.titles, (std::vector<std::string>{"Select Siemens S7 interface", "PLC Properties",
                                                       "Branch", "Item Properties", "PLC Properties"}));
}

TEST_F(Dialogs, SettingsDialogForLorvikAndTornel)
{
    newConfiguration("optMpiE");
    runner.scripts.push_back([this](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Global settings");
        EXPECT_FALSE(child<QGroupBox>(d, "fraIface")->isVisible());
        EXPECT_TRUE(child<QGroupBox>(d, "fraMpi")->isVisible());
        EXPECT_EQ(entries(d, "cmbPort"), (QStringList{"COM1", "COM2", "COM3", "COM4"}));
        EXPECT_EQ(entries(d, "cmbBaud"), (QStringList{"2400", "9600", "19200", "38400", "57600", "115200"}));
        EXPECT_EQ(entries(d, "cmbParity"), (QStringList{"NO", "EVEN", "ODD"}));
        EXPECT_EQ(entries(d, "cmbData"), (QStringList{"8", "7", "6", "5"}));
        EXPECT_EQ(entries(d, "cmbStop"), (QStringList{"1", "2"}));
        type(d, "txtMaster", "x");
        click(d, "cmdOk");
        EXPECT_EQ(gui.lastMessage(), "Invalid master Id");
        type(d, "txtMaster", "3");
        child<QComboBox>(d, "cmbPort")->setCurrentText("COM3");
        child<QComboBox>(d, "cmbBaud")->setCurrentText("19200");
        click(d, "cmdOk");
        EXPECT_FALSE(d.isVisible());
    });
    press("setts");
    EXPECT_EQ(window->model().settings.comPort, "COM3");
    EXPECT_EQ(window->model().settings.baudRate, 19200);
    EXPECT_EQ(window->model().settings.master, 3);

    gui.answers.push_back(Answer::No);
    newConfiguration("optTcpIpS7");
    runner.scripts.push_back([this](QDialog& d) {
        EXPECT_TRUE(child<QGroupBox>(d, "fraIface")->isVisible());
        EXPECT_FALSE(child<QGroupBox>(d, "fraMpi")->isVisible());
        type(d, "txtIface", "  ");
        click(d, "cmdOk");
        EXPECT_EQ(gui.lastMessage(), "Empty Interface field name");
        type(d, "txtIface", "CP_L2_1");
        click(d, "cmdOk");
    });
    press("setts");
    EXPECT_EQ(window->model().settings.interfaceName, "CP_L2_1");
}

TEST_F(Dialogs, BranchDialogAddsAndRenames)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    clickNode("P1");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(text(d, "txtName"), "NewBranch0");
        click(d, "cmdOk");
    });
    press("branch");
    ASSERT_TRUE(node("P1.NewBranch0").isValid());
    EXPECT_EQ(currentNode(), node("P1.NewBranch0"));
    addItem("P1.NewBranch0", "Speed");

    // Double click renames; every key below follows.
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(text(d, "txtName"), "NewBranch0");
        type(d, "txtName", "Drives");
        click(d, "cmdOk");
    });

    QTest::mouseDClick(window->tree()->viewport(), Qt::LeftButton, {}, nodeRect("P1.NewBranch0").center());
    EXPECT_FALSE(node("P1.NewBranch0").isValid());
    ASSERT_TRUE(node("P1.Drives.Speed").isValid());
    EXPECT_TRUE(window->model().items.contains("P1.Drives.Speed"));
    EXPECT_FALSE(window->model().items.contains("P1.NewBranch0.Speed"));
}

TEST_F(Dialogs, ItemDialogDefaultsFiltersAndARejectedField)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    clickNode("P1");
    runner.scripts.push_back([this](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Item Properties");
        EXPECT_EQ(text(d, "txtItemName"), "New Item 0");
        EXPECT_EQ(child<QComboBox>(d, "cmbDataType")->currentText(), "signed 16 bit");
        EXPECT_EQ(child<QComboBox>(d, "cmbDataType")->count(), 17);
        EXPECT_EQ(child<QComboBox>(d, "cmbDataType")->itemText(8), "boolean array");
        EXPECT_EQ(entries(d, "cmbAccessRight"), (QStringList{"READ", "WRITE", "READWRITE"}));
        EXPECT_EQ(child<QComboBox>(d, "cmbAccessRight")->currentText(), "READWRITE");
        EXPECT_EQ(child<QPushButton>(d, "cmdOk")->text(), "Add and Exit");
        EXPECT_FALSE(child<QLineEdit>(d, "txtBit")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(d, "txtElements")->isEnabled());
        // The name box lets through letters, digits, '-' and '_' only; number boxes digits and signs.
        type(d, "txtItemName", "Motor 1.a");
        EXPECT_EQ(text(d, "txtItemName"), "Motor1a");
        type(d, "txtAddress", "1x2");
        EXPECT_EQ(text(d, "txtAddress"), "12");
        // An empty data block is refused and the dialog stays open with its contents.
        type(d, "txtBlock", "");
        click(d, "cmdOk");
        EXPECT_EQ(gui.lastMessage(), "Data Block field is empty.");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(text(d, "txtItemName"), "Motor1a");
        type(d, "txtBlock", "5");
        // Changing the type enables the bit box and resets both boxes.
        child<QComboBox>(d, "cmbDataType")->setCurrentText("boolean");
        EXPECT_TRUE(child<QLineEdit>(d, "txtBit")->isEnabled());
        EXPECT_EQ(text(d, "txtBit"), "0");
        type(d, "txtBit", "7");
        click(d, "cmdAdd");
        // Add and Increment proposes the next bit: byte 13, bit 0.
        EXPECT_EQ(text(d, "txtItemName"), "New_Item_1");
        EXPECT_EQ(text(d, "txtAddress"), "13");
        EXPECT_EQ(text(d, "txtBit"), "0");
        click(d, "cmdCancel");
    });
    press("item");
    const auto item = window->model().items.get("P1.Motor1a");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->nAddress(), 12);
    EXPECT_EQ(item->nBitNumber(), 7);
    EXPECT_EQ(item->sDataType(), "boolean");
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"P1"}));  // a PLC's list shows the PLC itself
    EXPECT_EQ(childTexts("P1"), (std::vector<std::string>{"Motor1a"}));
}

TEST_F(Dialogs, AddGroupAddsSeveralItemsAndStopsAtTheFirstFailure)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addBranch("P1", "B");
    addItem("P1.B", "New_Item_3", "100");  // the third name of the group will collide
    clickNode("P1.B");
    runner.scripts.push_back([this](QDialog& d) {
        type(d, "txtItemName", "First");
        type(d, "txtAddress", "0");
        type(d, "txtBlock", "1");
        child<QComboBox>(d, "cmbDataType")->setCurrentText("signed 32 bit");
        click(d, "cmdGroup");
        EXPECT_TRUE(child<QGroupBox>(d, "fraNumber")->isVisible());
        EXPECT_EQ(child<QGroupBox>(d, "fraNumber")->title(), "INSERT NUMBER OF ITEMS TO ADD");
        EXPECT_EQ(text(d, "txtNumbItems"), "1");
        EXPECT_FALSE(child<QLineEdit>(d, "txtItemName")->isEnabled());
        type(d, "txtNumbItems", "-");
        click(d, "cmdOkNumber");
        EXPECT_EQ(gui.lastMessage(), "Number of items is not valid.");
        EXPECT_TRUE(child<QGroupBox>(d, "fraNumber")->isVisible());
        type(d, "txtNumbItems", "5");
        // Enter in the count box confirms the count, and only that.
        QTest::keyClick(child<QLineEdit>(d, "txtNumbItems"), Qt::Key_Return);
        EXPECT_FALSE(child<QGroupBox>(d, "fraNumber")->isVisible());
        EXPECT_TRUE(child<QLineEdit>(d, "txtItemName")->isEnabled());
        click(d, "cmdCancel");
    });
    press("item");
    // First (counter 1 -> New_Item_2 proposed next), New_Item_2, then New_Item_3 is taken.
    EXPECT_EQ(childTexts("P1.B"), (std::vector<std::string>{"New_Item_3", "First", "New_Item_2"}));
    EXPECT_EQ(window->model().items.get("P1.B.New_Item_2")->nAddress(), 4);
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"New_Item_3", "First", "New_Item_2"}));
}

TEST_F(Dialogs, ItemDialogModifiesTheSelectedItem)
{
    newConfiguration("optTcpIpS7");
    addPlc("P1");
    addBranch("P1", "B");
    addItem("P1.B", "Level", "6", "3");
    clickNode("P1.B.Level");
    runner.scripts.push_back([](QDialog& d) {
        EXPECT_EQ(child<QPushButton>(d, "cmdOk")->text(), "Confirm Modify");
        EXPECT_FALSE(child<QPushButton>(d, "cmdAdd")->isEnabled());
        EXPECT_FALSE(child<QPushButton>(d, "cmdGroup")->isEnabled());
        EXPECT_EQ(text(d, "txtAddress"), "6");
        type(d, "txtItemName", "Height");
        type(d, "txtComment", "in mm");
        click(d, "cmdOk");
    });
    QTest::mouseDClick(window->tree()->viewport(), Qt::LeftButton, {}, nodeRect("P1.B.Level").center());
    EXPECT_FALSE(node("P1.B.Level").isValid());
    ASSERT_TRUE(node("P1.B.Height").isValid());
    EXPECT_EQ(window->model().items.get("P1.B.Height")->sComment(), "in mm");
    // The list shows the item's branch with the changed row.
    EXPECT_EQ(listTexts(), (std::vector<std::string>{"Height"}));
}

}  // namespace
}  // namespace orva::editor::ui::test
