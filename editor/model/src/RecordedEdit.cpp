#include "RecordedEdit.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "editor/Text.h"

namespace orva::editor {

EditCounters countersOf(const EditorModel& model)
{
    return {model.newPlcNumber, model.newBranchNumber, model.newItemNumber, model.copyCount};
}

namespace {

void setCounters(EditorModel& model, const EditCounters& counters)
{
    model.newPlcNumber = counters.newPlc;
    model.newBranchNumber = counters.newBranch;
    model.newItemNumber = counters.newItem;
    model.copyCount = counters.copyCount;
}

// ----- Images of nodes -----

NodeImage imageOf(const EditorModel& model, const TreeNode& node, bool withChildren)
{
    NodeImage image;
    image.kind = node.kind();
    image.key = node.key();
    image.text = node.text();
    image.expanded = node.expanded();
    switch (node.kind()) {
        case NodeKind::Plc:
            if (auto plc = model.plcs.get(node.key())) {
                image.value = *plc;
                image.object = std::move(plc);
            }
            break;
        case NodeKind::Branch:
            if (auto branch = model.branches.get(node.key())) {
                image.value = *branch;
                image.object = std::move(branch);
            }
            break;
        case NodeKind::Item:
            if (auto item = model.items.get(node.key())) {
                image.value = *item;
                image.object = std::move(item);
            }
            break;
        case NodeKind::Config:
            break;
    }
    if (withChildren) {
        image.children.reserve(node.childCount());
        for (const auto& child : node.children())
            image.children.push_back(imageOf(model, *child, true));
    }
    return image;
}

// Child positions of many nodes, one pass over each parent's children.
std::unordered_map<const TreeNode*, std::size_t> positionsOf(const std::vector<const TreeNode*>& nodes)
{
    std::unordered_map<const TreeNode*, std::unordered_set<const TreeNode*>> byParent;
    for (const TreeNode* node : nodes)
        if (node->parent() != nullptr) byParent[node->parent()].insert(node);
    std::unordered_map<const TreeNode*, std::size_t> positions;
    for (const auto& [parent, wanted] : byParent) {
        std::size_t position = 0;
        for (const auto& child : parent->children()) {
            if (wanted.contains(child.get())) positions[child.get()] = position;
            ++position;
        }
    }
    return positions;
}

std::vector<PlacedSubtree> placedSubtrees(const EditorModel& model, const std::vector<const TreeNode*>& nodes)
{
    const auto positions = positionsOf(nodes);
    std::vector<PlacedSubtree> placed;
    placed.reserve(nodes.size());
    for (const TreeNode* node : nodes) {
        if (node->parent() == nullptr) continue;
        PlacedSubtree subtree;
        subtree.parentKey = node->parent()->key();
        subtree.index = positions.at(node);
        if (node->kind() == NodeKind::Plc) subtree.plcIndex = model.plcs.indexOf(node->key());
        subtree.image = imageOf(model, *node, true);
        placed.push_back(std::move(subtree));
    }
    return placed;
}

// ----- Taking subtrees out and putting them back -----

void removeSubtree(EditorModel& model, std::string_view key)
{
    TreeNode* top = model.tree.find(key);
    if (top == nullptr || top->parent() == nullptr) return;
    std::vector<const TreeNode*> pending{top};
    while (!pending.empty()) {
        const TreeNode* node = pending.back();
        pending.pop_back();
        switch (node->kind()) {
            case NodeKind::Plc:
                model.plcs.remove(node->key());
                break;
            case NodeKind::Branch:
                model.branches.remove(node->key());
                break;
            case NodeKind::Item:
                model.items.remove(node->key());
                break;
            case NodeKind::Config:
                break;
        }
        for (const auto& child : node->children())
            pending.push_back(child.get());
    }
    model.tree.remove(*top);
}

// Puts the image's object back under its key with the fields it had.
void restoreObject(EditorModel& model, const NodeImage& image, std::size_t plcIndex)
{
    switch (image.kind) {
        case NodeKind::Plc: {
            auto plc = std::static_pointer_cast<clsPLC>(image.object);
            if (!plc) plc = std::make_shared<clsPLC>();
            *plc = std::get<clsPLC>(image.value);
            if (!model.plcs.insertAt(plcIndex, image.key, plc)) raise(ErrorCode::DuplicateKey, image.key);
            break;
        }
        case NodeKind::Branch: {
            auto branch = std::static_pointer_cast<clsBranch>(image.object);
            if (!branch) branch = std::make_shared<clsBranch>();
            *branch = std::get<clsBranch>(image.value);
            if (!model.branches.add(image.key, branch)) raise(ErrorCode::DuplicateKey, image.key);
            break;
        }
        case NodeKind::Item: {
            auto item = std::static_pointer_cast<clsItem>(image.object);
            if (!item) item = std::make_shared<clsItem>();
            *item = std::get<clsItem>(image.value);
            if (!model.items.add(image.key, item)) raise(ErrorCode::DuplicateKey, image.key);
            break;
        }
        case NodeKind::Config:
            break;
    }
}

void insertImage(EditorModel& model, TreeNode& parent, const TreeNode* before, const NodeImage& image,
                 std::size_t plcIndex, EditResult& result)
{
    TreeNode* node = model.tree.insertBefore(parent, before, image.key, image.text, image.kind);
    if (node == nullptr) raise(ErrorCode::KeyNotUnique, image.key);
    node->setExpanded(image.expanded);
    restoreObject(model, image, plcIndex);
    result.added.push_back(image.key);
    for (const auto& child : image.children)
        insertImage(model, *node, nullptr, child, 0, result);
}

// Puts subtrees back at their places. Going through each parent's children in rising order of
// place, every subtree finds in front of it exactly the siblings it had.
void insertSubtrees(EditorModel& model, const std::vector<PlacedSubtree>& subtrees, EditResult& result)
{
    std::map<std::string, std::vector<const PlacedSubtree*>> byParent;
    for (const auto& subtree : subtrees)
        byParent[upperText(subtree.parentKey)].push_back(&subtree);
    for (auto& [parentKey, group] : byParent) {
        std::stable_sort(group.begin(), group.end(),
                         [](const PlacedSubtree* a, const PlacedSubtree* b) { return a->index < b->index; });
        TreeNode* parent = model.tree.find(group.front()->parentKey);
        if (parent == nullptr) raise(ErrorCode::ElementNotFound, group.front()->parentKey);
        auto next = parent->children().begin();
        std::size_t position = 0;
        for (const PlacedSubtree* subtree : group) {
            while (position < subtree->index && next != parent->children().end()) {
                ++next;
                ++position;
            }
            const TreeNode* before = next == parent->children().end() ? nullptr : next->get();
            insertImage(model, *parent, before, subtree->image, subtree->plcIndex, result);
            ++position;
        }
    }
}

// ----- Changes in place -----

void applyChanges(EditorModel& model, const std::vector<InPlaceChange>& changes, bool forward,
                  EditResult& result)
{
    struct Step {
        TreeNode* node;
        const NodeImage* from;
        const NodeImage* to;
    };
    std::vector<Step> steps;
    std::vector<std::pair<TreeNode*, std::string>> keys;
    for (const auto& change : changes) {
        const NodeImage& from = forward ? change.before : change.after;
        const NodeImage& to = forward ? change.after : change.before;
        TreeNode* node = model.tree.find(from.key);
        if (node == nullptr) raise(ErrorCode::ElementNotFound, from.key);
        steps.push_back({node, &from, &to});
        if (from.key != to.key) keys.emplace_back(node, to.key);
    }
    // All keys at once, so that names exchanged among the nodes do not collide on the way.
    if (!model.tree.setKeys(keys)) raise(ErrorCode::KeyNotUnique);
    for (const auto& step : steps) {
        if (step.from->kind == NodeKind::Plc) {
            auto plc = std::static_pointer_cast<clsPLC>(step.to->object);
            *plc = std::get<clsPLC>(step.to->value);
            if (!model.plcs.replace(step.from->key, step.to->key, plc))
                raise(ErrorCode::DuplicateKey, step.to->key);
        } else if (step.from->kind == NodeKind::Branch) {
            model.branches.remove(step.from->key);
        } else if (step.from->kind == NodeKind::Item) {
            model.items.remove(step.from->key);
        }
    }
    for (const auto& step : steps) {
        if (step.to->kind == NodeKind::Branch || step.to->kind == NodeKind::Item)
            restoreObject(model, *step.to, 0);
        model.tree.setText(*step.node, step.to->text);
        result.rekeyed.push_back({step.from->key, step.to->key});
    }
    // A renamed PLC or branch takes its subtree's keys along.
    for (const auto& step : steps)
        if (step.from->key != step.to->key && step.node->childCount() > 0)
            model.RekeyChildren(*step.node, &result.rekeyed);
}

std::vector<std::string> topKeys(const std::vector<PlacedSubtree>& subtrees)
{
    std::vector<std::string> keys;
    keys.reserve(subtrees.size());
    for (const auto& subtree : subtrees)
        keys.push_back(subtree.image.key);
    return keys;
}

void selectAfter(EditResult& result, const std::vector<PlacedSubtree>& shown,
                 const std::vector<PlacedSubtree>& gone, const std::vector<InPlaceChange>& changed,
                 bool forward)
{
    if (!shown.empty())
        result.select = shown.front().image.key;
    else if (!gone.empty())
        result.select = gone.front().parentKey;
    else if (!changed.empty())
        result.select = forward ? changed.front().after.key : changed.front().before.key;
}

}  // namespace

EditResult RecordedEdit::undo(EditorModel& model)
{
    EditResult result;
    std::vector<InPlaceChange> reversed(changed.rbegin(), changed.rend());
    applyChanges(model, reversed, false, result);
    // What the edit added is taken as it stands now, which is as the edit left it: the commands
    // after it have been undone. Redo puts exactly that back.
    std::vector<const TreeNode*> tops;
    for (const auto& subtree : added)
        if (const TreeNode* node = model.tree.find(subtree.image.key)) tops.push_back(node);
    added = placedSubtrees(model, tops);
    for (auto it = added.rbegin(); it != added.rend(); ++it)
        removeSubtree(model, it->image.key);
    result.removed = topKeys(added);
    insertSubtrees(model, removed, result);
    if (settingsBefore) model.settings = *settingsBefore;
    setCounters(model, countersBefore);
    selectAfter(result, removed, added, changed, false);
    result.done = true;
    return result;
}

EditResult RecordedEdit::redo(EditorModel& model)
{
    EditResult result;
    for (const auto& subtree : removed)
        removeSubtree(model, subtree.image.key);
    result.removed = topKeys(removed);
    insertSubtrees(model, added, result);
    applyChanges(model, changed, true, result);
    if (settingsAfter) model.settings = *settingsAfter;
    setCounters(model, countersAfter);
    selectAfter(result, added, removed, changed, true);
    result.done = true;
    return result;
}

// ----- Recording -----

EditRecorder::EditRecorder(EditorModel& model) : model_(model)
{
    active_ = model_.recordingDepth_++ == 0;
    if (active_) counters_ = countersOf(model_);
}

EditRecorder::~EditRecorder()
{
    --model_.recordingDepth_;
}

void EditRecorder::mayRemove(const std::vector<std::string>& keys)
{
    if (!active_) return;
    std::vector<const TreeNode*> found;
    std::unordered_set<const TreeNode*> seen;
    for (const auto& key : keys)
        if (const TreeNode* node = model_.tree.find(key); node != nullptr && seen.insert(node).second)
            found.push_back(node);
    // A node below another one taken is part of that one's subtree.
    std::vector<const TreeNode*> nodes;
    for (const TreeNode* node : found) {
        bool inside = false;
        for (const TreeNode* up = node->parent(); up != nullptr && !inside; up = up->parent())
            inside = seen.contains(up);
        if (!inside) nodes.push_back(node);
    }
    auto placed = placedSubtrees(model_, nodes);
    for (auto& subtree : placed)
        removalCandidates_.push_back(std::move(subtree));
}

void EditRecorder::mayChange(const std::vector<std::string>& keys)
{
    if (!active_) return;
    for (const auto& key : keys)
        if (const TreeNode* node = model_.tree.find(key))
            changeCandidates_.push_back(imageOf(model_, *node, false));
}

void EditRecorder::mayChangeSettings()
{
    if (active_) settings_ = model_.settings;
}

namespace {

bool sameSettings(const InterfaceSettings& a, const InterfaceSettings& b)
{
    return a.interfaceName == b.interfaceName && a.comPort == b.comPort && a.master == b.master &&
           a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits;
}

std::string kindNoun(NodeKind kind, bool plural)
{
    switch (kind) {
        case NodeKind::Plc:
            return plural ? "PLCs" : "PLC";
        case NodeKind::Branch:
            return plural ? "branches" : "branch";
        case NodeKind::Item:
            return plural ? "items" : "item";
        case NodeKind::Config:
            break;
    }
    return plural ? "objects" : "object";
}

// "Delete item Speed", "Delete 12 items", "Paste 3 objects".
std::string describe(std::string_view verb, const std::vector<const NodeImage*>& objects)
{
    std::string text(verb);
    if (objects.empty()) return text;
    if (objects.size() == 1)
        return text + " " + kindNoun(objects.front()->kind, false) + " " + objects.front()->text;
    const NodeKind kind = objects.front()->kind;
    const bool mixed =
        std::any_of(objects.begin(), objects.end(), [&](const NodeImage* o) { return o->kind != kind; });
    return text + " " + std::to_string(objects.size()) + " " +
           (mixed ? std::string("objects") : kindNoun(kind, true));
}

}  // namespace

void EditRecorder::commit(const EditResult& result, std::string_view verb)
{
    if (!active_ || !result.done) return;
    auto edit = std::make_unique<RecordedEdit>();
    edit->countersBefore = counters_;
    edit->countersAfter = countersOf(model_);

    // Removed: candidates whose node no longer stands under its key.
    std::unordered_map<std::string, std::string, NoCaseHash, NoCaseEqual> renamed;
    for (const auto& change : result.rekeyed)
        renamed.emplace(change.oldKey, change.newKey);
    for (auto& candidate : removalCandidates_)
        if (!model_.tree.containsKey(candidate.image.key) && !renamed.contains(candidate.image.key))
            edit->removed.push_back(std::move(candidate));

    // Changed in place: candidates renamed, or still there with other fields.
    for (auto& before : changeCandidates_) {
        const auto found = renamed.find(before.key);
        const std::string key = found != renamed.end() ? found->second : before.key;
        const TreeNode* node = model_.tree.find(key);
        if (node == nullptr) continue;
        InPlaceChange change{std::move(before), imageOf(model_, *node, false)};
        edit->changed.push_back(std::move(change));
    }

    // Added: the new nodes whose parents are not new themselves. Their contents are taken when
    // the edit is undone; until then the model holds them.
    std::vector<const TreeNode*> addedNodes;
    addedNodes.reserve(result.added.size());
    for (const auto& key : result.added)
        if (const TreeNode* node = model_.tree.find(key); node != nullptr && node->parent() != nullptr)
            addedNodes.push_back(node);
    const std::unordered_set<const TreeNode*> isNew(addedNodes.begin(), addedNodes.end());
    for (const TreeNode* node : addedNodes) {
        if (isNew.contains(node->parent())) continue;
        PlacedSubtree top;
        top.parentKey = node->parent()->key();
        top.image.kind = node->kind();
        top.image.key = node->key();
        top.image.text = node->text();
        edit->added.push_back(std::move(top));
    }

    if (settings_ && !sameSettings(*settings_, model_.settings)) {
        edit->settingsBefore = settings_;
        edit->settingsAfter = model_.settings;
    }
    if (edit->removed.empty() && edit->added.empty() && edit->changed.empty() && !edit->settingsBefore)
        return;

    std::vector<const NodeImage*> objects;
    for (const auto* list : {&edit->removed, &edit->added})
        if (!list->empty()) {
            for (const auto& subtree : *list)
                objects.push_back(&subtree.image);
            break;
        }
    if (objects.empty())
        for (const auto& change : edit->changed)
            objects.push_back(&change.after);
    edit->description = describe(verb, objects);
    model_.undoStack.push(std::move(edit));
}

}  // namespace orva::editor
