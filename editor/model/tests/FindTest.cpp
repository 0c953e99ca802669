// Finding nodes by the beginning of their text.
#include "TestModel.h"

namespace orva::editor::test {
namespace {

class FindTest : public ModelTest {
protected:
    void SetUp() override
    {
        newPlcWithBranch(ServerKind::Pennat, "/configs/Pennat.xml");
        for (const char* name : {"MOTOR1", "PUMP", "MOTOR2", "MOTOR3"})
            addItem(model, "P.B", name);
        model.openFind();
    }
};

TEST_F(FindTest, FindAndFindNextWalkTheMatchesInOrder)
{
    EXPECT_EQ(model.find("motor"), "P.B.MOTOR1");
    EXPECT_EQ(model.findNext("motor"), "P.B.MOTOR2");
    EXPECT_EQ(model.findNext("motor"), "P.B.MOTOR3");
    EXPECT_EQ(model.findNext("motor"), "P.B.MOTOR3") << "the last match stays selected";
}

TEST_F(FindTest, FindStartsAgainWithoutResettingTheCounter)
{
    model.findNext("motor");
    model.findNext("motor");
    EXPECT_EQ(model.find("motor"), "P.B.MOTOR1");
    EXPECT_EQ(model.findNext("motor"), "P.B.MOTOR3");
    model.openFind();
    EXPECT_EQ(model.findNext("motor"), "P.B.MOTOR2");
}

TEST_F(FindTest, EveryKindOfNodeMatchesAndEmptyTextDoesNothing)
{
    EXPECT_EQ(model.find("p"), "P");
    EXPECT_EQ(model.find("/CONFIGS"), "") << "the root matches its path";
    EXPECT_EQ(model.find("b"), "P.B");
    EXPECT_EQ(model.find("MOTOR10"), std::nullopt);
    EXPECT_EQ(model.find(""), std::nullopt);
    EXPECT_EQ(model.findNext(""), std::nullopt);
    EXPECT_EQ(model.findNext("zz"), std::nullopt);
}

TEST_F(FindTest, NodesAreVisitedInTheOrderTheyWereAdded)
{
    ASSERT_TRUE(model.dragDrop("P.B.MOTOR1", "P", false).done);
    EXPECT_EQ(model.find("motor"), "P.B.MOTOR2") << "the moved node is the newest";
}

}  // namespace
}  // namespace orva::editor::test
