// Tags out to a spreadsheet file and back in.
#include "TestModel.h"
#include "editor/Csv.h"

namespace orva::editor::test {
namespace {

class TagCsvTest : public ModelTest {
protected:
    void SetUp() override { ASSERT_TRUE(model.openConfiguration(dataFile("tornel_all.xml").string())); }

    // The PLCs of the test file without their items, as a new configuration would have them.
    std::string emptyCopy()
    {
        std::string text = written(model);
        ScriptedUi otherUi;
        EditorModel empty(otherUi);
        EXPECT_TRUE(empty.importXmlBytes(text));
        for (const auto& entry : empty.plcs) {
            std::vector<std::string> children;
            for (const auto& child : empty.tree.find(entry.key)->children())
                children.push_back(child->key());
            for (const auto& key : children)
                empty.deleteSelection(Selection{key, false, {}});
        }
        return written(empty);
    }
};

TEST_F(TagCsvTest, ExportThenImportIntoEmptyPlcsGivesTheSameItems)
{
    const std::string csv = model.exportTagsCsv("");
    ASSERT_TRUE(csv.starts_with(kUtf8Bom));
    EXPECT_NE(csv.find("Path,Name,Comment,DataType,DataBlock,DataByte,Bit,Elements,Access\r\n"),
              std::string::npos);

    ScriptedUi otherUi;
    EditorModel target(otherUi);
    ASSERT_TRUE(target.importXmlBytes(emptyCopy()));
    target.isOpen = true;
    const TagImportPlan plan = target.planTagImport("", csv);
    EXPECT_EQ(refusalReport(plan), "");
    ASSERT_TRUE(target.applyTagImport(plan).done);
    // Rows carry items: the same items with the same fields in the same places (an empty branch
    // has no row and stays behind).
    EXPECT_TRUE(target.exportTagsCsv("") == csv);
    EXPECT_EQ(target.items.size(), model.items.size());
    EXPECT_EQ(target.branches.size() + 1, model.branches.size());
    EXPECT_TRUE(target.undoStack.undoText().starts_with("Import ")) << target.undoStack.undoText();

    // One PLC alone: the paths are below the PLC and go into the PLC the user chose.
    const std::string plcName = model.plcs.begin()->key;
    const std::string one = model.exportTagsCsv(plcName);
    ASSERT_TRUE(target.undo().done);
    const TagImportPlan onePlan = target.planTagImport(plcName, one);
    EXPECT_TRUE(onePlan.refused.empty()) << refusalReport(onePlan);
    ASSERT_TRUE(target.applyTagImport(onePlan).done);
    EXPECT_EQ(target.exportTagsCsv(plcName), one);
}

TEST_F(TagCsvTest, SpreadsheetDialectsAreRead)
{
    model.newConfiguration(ServerKind::Tornel, "x");
    addPlc(model, "P");
    // Semicolons, ISO-8859-1, a quoted field with the separator, a quote and a line break, and
    // columns in another order with the optional ones left out.
    const std::string csv =
        "Name;DataType;DataBlock;DataByte;Path;Comment\r\n"
        "Level;VT_R4;3;4;TANK;\"Niveau \xe9tang; \"\"max\"\"\nsecond line\"\r\n"
        "\r\n"
        "Flags;boolean array;3;8;TANK/VALVES;\r\n";
    const TagImportPlan plan = model.planTagImport("P", csv);
    ASSERT_TRUE(plan.refused.empty()) << refusalReport(plan);
    ASSERT_TRUE(model.applyTagImport(plan).done);
    const auto level = model.items.get("P.TANK.Level");
    ASSERT_TRUE(level);
    EXPECT_EQ(level->sComment(), "Niveau \xc3\xa9tang; \"max\"\nsecond line");
    EXPECT_EQ(level->sDataType(), "32 bit float");
    EXPECT_EQ(level->nAddress(), 4);
    EXPECT_EQ(level->sAccessRight(), "READWRITE");
    EXPECT_TRUE(model.branches.contains("P.TANK.VALVES"));
    EXPECT_TRUE(model.items.contains("P.TANK.VALVES.Flags"));
}

TEST_F(TagCsvTest, RefusedRowsAreReportedWithLineAndReasonAndChangeNothing)
{
    model.newConfiguration(ServerKind::Tornel, "x");
    addPlc(model, "P");
    addBranch(model, "P", "B");
    addItem(model, "P.B", "Taken");
    const std::string before = written(model);
    const std::string csv =
        "Path,Name,Comment,DataType,DataBlock,DataByte,Bit,Elements,Access\n"
        "B,Good,,VT_I2,1,0,0,0,READ\n"
        "B,Taken,,VT_I2,1,0,0,0,READ\n"
        "B,Big,,VT_I2,1,65536,0,0,READ\n"
        "B,Odd,,VT_I9,1,0,0,0,READ\n"
        "Bad Branch,X,,VT_I2,1,0,0,0,READ\n"
        "B,Good,,VT_I2,1,2,0,0,READ\n"
        "B,Bit,,VT_BOOL,1,0,16,0,READ\n"
        "B,Who,,VT_I2,1,0,0,0,ALL\n"
        "B/Taken,Y,,VT_I2,1,0,0,0,READ\n";
    const TagImportPlan plan = model.planTagImport("P.B", csv);
    EXPECT_EQ(plan.rows.size(), 1u);
    EXPECT_EQ(refusalReport(plan),
              "Line 3: Name already existing: Taken in B.\n"
              "Line 4: Data Byte field is not valid. It must be between 0 and 65535.\n"
              "Line 5: DataType \"VT_I9\" is not one of VT_BOOL, VT_UI1, VT_UI2, VT_UI4, VT_I1, VT_I2, "
              "VT_I4, VT_R4, "
              "VT_BSTR or an ARRAY of one of them.\n"
              "Line 6: Character ( ) not acceptable in string Bad Branch\n"
              "Line 7: Name already existing: the same item is on line 2.\n"
              "Line 8: Bit number field is not valid. It must be between 0 and 15.\n"
              "Line 9: Access must be READ, WRITE or READWRITE.\n"
              "Line 10: B/Taken is an item, not a branch.\n");
    EXPECT_EQ(written(model), before) << "checking changes nothing";
    EXPECT_TRUE(ui.messages.empty()) << "row checks are reported, not shown one by one";

    EXPECT_EQ(refusalReport(model.planTagImport(
                  "", "Path,Name,DataType,DataBlock,DataByte\nQ,A,VT_I2,1,0\n,B,VT_I2,1,0\n")),
              "Line 2: There is no PLC named Q.\nLine 3: The path must begin with the name of a PLC.\n");
    EXPECT_EQ(
        refusalReport(model.planTagImport("P", "Name,Comment\nA,x\n")),
        "Line 1: The first line must name the columns Path,Name,Comment,DataType,DataBlock,DataByte,Bit,"
        "Elements,Access.\n");
    EXPECT_EQ(refusalReport(model.planTagImport("P", "Name,DataType,DataBlock,DataByte\n\"open")),
              "line 2: a quoted field is not closed\n");
}

}  // namespace
}  // namespace orva::editor::test
