// Long runs of editing operations picked at random (with fixed seeds): after every operation
// the tree and the collections agree on every key, and from time to time the configuration is
// saved and loaded by the server, which must publish exactly what the editor shows. At the end
// the file opened and saved again by the editor stays the same from then on.

#include <random>
#include <sstream>

#include "CrossingFixture.h"

using namespace orva;
using namespace orva::editor;
using namespace orva::editor::crossing;

namespace {

class RandomEdits : public EditorToServer, public ::testing::WithParamInterface<unsigned> {
protected:
    std::mt19937 random{GetParam()};

    template <class T>
    const T& pick(const std::vector<T>& from)
    {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    }
    bool chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; }

    std::vector<const TreeNode*> nodesOf(std::initializer_list<NodeKind> kinds) const
    {
        std::vector<const TreeNode*> nodes;
        if (std::find(kinds.begin(), kinds.end(), NodeKind::Config) != kinds.end())
            nodes.push_back(&model.tree.root());
        for (const TreeNode* node : model.tree.nodesInOrder())
            if (std::find(kinds.begin(), kinds.end(), node->kind()) != kinds.end()) nodes.push_back(node);
        return nodes;
    }

    // Names from a small pool, in several letter cases, so that collisions are frequent.
    std::string name()
    {
        static const std::vector<std::string> names = {
            "A", "b", "Motor", "MOTOR", "motor", "Level", "Level_0", "Speed", "X1", "Zone-2", "Ofen"};
        return pick(names);
    }

    Selection treeSelection(const TreeNode& node) const { return Selection{node.key(), false, {}}; }

    Selection listSelection(const TreeNode& parent)
    {
        Selection selection{parent.key(), true, {}};
        for (const auto& child : parent.children())
            if (child->kind() == NodeKind::Item && chance(60)) selection.rows.push_back(child->key());
        return selection;
    }

    void randomOperation()
    {
        const auto holders = nodesOf({NodeKind::Plc, NodeKind::Branch});
        const auto branches = nodesOf({NodeKind::Branch});
        const auto items = nodesOf({NodeKind::Item});
        switch (std::uniform_int_distribution<int>(0, 13)(random)) {
            case 0: {
                if (model.plcs.size() >= 4) break;
                PlcForm form = model.newPlcForm();
                form.name = pick(std::vector<std::string>{"P", "Q", "p", "Line 1"});
                model.applyPlcForm("", form, false);
                break;
            }
            case 1:
                if (!holders.empty()) model.addBranch(pick(holders)->key(), name());
                break;
            case 2:
            case 3:
                if (!holders.empty()) {
                    ItemForm form;
                    form.name = name();
                    EditorModel::changeDataType(
                        form, pick(std::vector<std::string>{"boolean", "string", "32 bit float",
                                                            "signed 16 bit array"}));
                    form.address = std::to_string(std::uniform_int_distribution<int>(0, 65535)(random));
                    form.block = std::to_string(std::uniform_int_distribution<int>(0, 65535)(random));
                    if (form.bitEnabled)
                        form.bit = std::to_string(std::uniform_int_distribution<int>(0, 15)(random));
                    if (form.elementsEnabled) form.elements = "3";
                    form.comment = "c" + std::to_string(random() % 1000);
                    model.AddItemToColl(pick(holders)->key(), form, false);
                }
                break;
            case 4:
                if (!branches.empty()) model.renameBranch(pick(branches)->key(), name());
                break;
            case 5:
                if (!items.empty()) {
                    const std::string key = pick(items)->key();
                    ItemForm form = model.itemFormFor(key);
                    form.name = name();
                    model.AddItemToColl(key, form, true);
                }
                break;
            case 6: {
                const auto plcs = nodesOf({NodeKind::Plc});
                if (plcs.empty()) break;
                const std::string key = pick(plcs)->key();
                PlcForm form = model.plcFormFor(key);
                form.name = pick(std::vector<std::string>{"P", "Q", "R", "Line 2"});
                model.applyPlcForm(key, form, true);
                break;
            }
            case 7:
                if (!items.empty()) model.copy(treeSelection(*pick(items)));
                if (!branches.empty()) model.paste(pick(branches)->key());
                break;
            case 8:
                if (!holders.empty()) model.copy(listSelection(*pick(holders)));
                if (!branches.empty()) model.paste(pick(branches)->key());
                break;
            case 9:
                if (!items.empty() && chance(50)) model.cut(treeSelection(*pick(items)));
                break;
            case 10:
                if (chance(30)) {
                    const auto deletable = nodesOf({NodeKind::Branch, NodeKind::Item});
                    if (!deletable.empty()) model.deleteSelection(treeSelection(*pick(deletable)));
                } else if (!holders.empty()) {
                    model.deleteSelection(listSelection(*pick(holders)));
                }
                break;
            case 11:
            case 12: {
                const auto movable = nodesOf({NodeKind::Branch, NodeKind::Item});
                const auto targets =
                    nodesOf({NodeKind::Config, NodeKind::Plc, NodeKind::Branch, NodeKind::Item});
                if (!movable.empty()) model.dragDrop(pick(movable)->key(), pick(targets)->key(), chance(40));
                break;
            }
            case 13: {
                if (holders.empty()) break;
                const Selection selection = listSelection(*pick(holders));
                std::string lines;
                for (std::size_t i = 0; i < selection.rows.size(); ++i)
                    lines += (chance(10) ? std::string("bad name") : name()) + "\r\n";
                ui.clipboard = lines;
                if (chance(50))
                    model.pasteName(selection);
                else
                    model.pasteComment(selection);
                break;
            }
        }
    }

    // Every node's key is its parent's key and its text; every key resolves to its own object,
    // whose name is the node's text; nothing is in a collection without a node.
    void expectConsistent(int step)
    {
        SCOPED_TRACE("after operation " + std::to_string(step));
        std::size_t plcs = 0, branches = 0, items = 0;
        for (const TreeNode* node : model.tree.nodesInOrder()) {
            const std::string parentKey = node->parent()->key();
            ASSERT_EQ(node->key(), parentKey.empty() ? node->text() : parentKey + "." + node->text());
            ASSERT_EQ(model.tree.find(node->key()), node);
            switch (node->kind()) {
                case NodeKind::Plc: {
                    ++plcs;
                    const auto plc = model.plcs.get(node->key());
                    ASSERT_TRUE(plc) << node->key();
                    ASSERT_EQ(plc->sName, node->text());
                    break;
                }
                case NodeKind::Branch: {
                    ++branches;
                    const auto branch = model.branches.get(node->key());
                    ASSERT_TRUE(branch) << node->key();
                    ASSERT_EQ(branch->sKey(), node->key());
                    ASSERT_EQ(branch->sName(), node->text());
                    break;
                }
                case NodeKind::Item: {
                    ++items;
                    const auto item = model.items.get(node->key());
                    ASSERT_TRUE(item) << node->key();
                    ASSERT_EQ(item->sKey(), node->key());
                    ASSERT_EQ(item->sName(), node->text());
                    break;
                }
                case NodeKind::Config:
                    FAIL() << "a second root";
            }
        }
        ASSERT_EQ(plcs, model.plcs.size());
        ASSERT_EQ(branches, model.branches.size());
        ASSERT_EQ(items, model.items.size());
    }

    std::string savedText()
    {
        std::ostringstream out;
        EXPECT_TRUE(model.writeXml(out));
        return out.str();
    }
};

TEST_P(RandomEdits, KeepTreeCollectionsAndServerInStep)
{
    model.newConfiguration(GetParam() % 2 == 0 ? ServerKind::Vardel : ServerKind::Pennat, "random.xml");
    constexpr int kOperations = 1500;
    for (int step = 1; step <= kOperations; ++step) {
        randomOperation();
        ASSERT_NO_FATAL_FAILURE(expectConsistent(step));
        if (step % 250 == 0) {
            reset();
            ASSERT_NO_FATAL_FAILURE(saveAndLoad());
            ASSERT_NO_FATAL_FAILURE(expectSameConfiguration()) << "after operation " << step;
        }
    }
    EXPECT_EQ(ui.messages.size() > 0, true) << "the run should have met refusals too";

    // Opened and saved again, the file is in the normal form: a further round changes nothing.
    const std::size_t itemCount = model.items.size();
    reset();
    ASSERT_NO_FATAL_FAILURE(saveAndLoad());
    const std::string path = savedPath();
    ui.messages.clear();
    ASSERT_TRUE(model.openConfiguration(path));
    EXPECT_EQ(ui.messages, std::vector<std::string>{});
    EXPECT_EQ(model.items.size(), itemCount);
    const std::string once = savedText();
    reset();
    ASSERT_NO_FATAL_FAILURE(saveAndLoad());
    ASSERT_NO_FATAL_FAILURE(expectSameConfiguration());
    ASSERT_TRUE(model.openConfiguration(savedPath()));
    EXPECT_EQ(savedText(), once);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomEdits, ::testing::Values(1u, 2u, 3u, 4u));

}  // namespace
