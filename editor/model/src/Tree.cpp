#include "editor/Tree.h"

#include <unordered_set>

namespace orva::editor {

std::string_view kindTag(NodeKind kind)
{
    switch (kind) {
        case NodeKind::Config:
            return "config";
        case NodeKind::Plc:
            return "plc";
        case NodeKind::Branch:
            return "branch";
        case NodeKind::Item:
            return "item";
    }
    return {};
}

bool TreeNode::isAncestorOf(const TreeNode& other) const
{
    for (const TreeNode* node = &other; node != nullptr; node = node->parent_)
        if (node == this) return true;
    return false;
}

namespace {

// Frees a subtree level by level, so that a deep tree cannot exhaust the stack.
void destroy(std::unique_ptr<TreeNode> top, TreeNode::Children& (*childrenOf)(TreeNode&))
{
    std::vector<std::unique_ptr<TreeNode>> pending;
    pending.push_back(std::move(top));
    while (!pending.empty()) {
        auto node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : childrenOf(*node))
            pending.push_back(std::move(child));
    }
}

}  // namespace

TreeNode::Children& Tree::childrenOf(TreeNode& node)
{
    return node.children_;
}

Tree::Tree(std::string rootText)
{
    reset(std::move(rootText));
}

Tree::~Tree()
{
    if (root_) destroy(std::move(root_), &Tree::childrenOf);
}

void Tree::reset(std::string rootText)
{
    if (observer_ != nullptr) observer_->treeAboutToBeReset();
    index_.clear();
    order_.clear();
    if (root_) destroy(std::move(root_), &Tree::childrenOf);
    root_ = std::make_unique<TreeNode>();
    root_->kind_ = NodeKind::Config;
    root_->text_ = std::move(rootText);
    if (observer_ != nullptr) observer_->treeReset();
}

void Tree::setText(TreeNode& node, std::string text)
{
    if (node.text_ == text) return;
    node.text_ = std::move(text);
    if (observer_ != nullptr) observer_->nodeChanged(node);
}

TreeNode* Tree::find(std::string_view key) const
{
    if (key.empty()) return root_.get();
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : found->second;
}

bool Tree::containsKey(std::string_view key) const
{
    return find(key) != nullptr;
}

TreeNode* Tree::add(TreeNode& parent, std::string key, std::string text, NodeKind kind)
{
    return insertBefore(parent, nullptr, std::move(key), std::move(text), kind);
}

TreeNode* Tree::insertBefore(TreeNode& parent, const TreeNode* before, std::string key, std::string text,
                             NodeKind kind)
{
    if (key.empty()) return nullptr;
    if (before != nullptr && before->parent_ != &parent) return nullptr;
    auto node = std::make_unique<TreeNode>();
    node->key_ = std::move(key);
    // The index takes the node's own key string, with one lookup that also tells whether it is taken.
    if (!index_.try_emplace(std::string_view(node->key_), node.get()).second) return nullptr;
    node->text_ = std::move(text);
    node->kind_ = kind;
    node->parent_ = &parent;
    TreeNode* raw = node.get();
    if (observer_ != nullptr) observer_->nodeAboutToBeAdded(parent, before);
    const auto position = before != nullptr ? before->inParent_ : parent.children_.end();
    raw->inParent_ = parent.children_.insert(position, std::move(node));
    order_.push_back(raw);
    raw->inOrder_ = std::prev(order_.end());
    if (observer_ != nullptr) observer_->nodeAdded(*raw);
    return raw;
}

void Tree::remove(TreeNode& node)
{
    if (&node == root_.get() || node.parent_ == nullptr) return;
    if (observer_ != nullptr) observer_->nodeAboutToBeRemoved(node);
    std::vector<TreeNode*> pending{&node};
    while (!pending.empty()) {
        TreeNode* current = pending.back();
        pending.pop_back();
        index_.erase(current->key_);
        order_.erase(current->inOrder_);
        for (auto& child : current->children_)
            pending.push_back(child.get());
    }
    const auto position = node.inParent_;
    std::unique_ptr<TreeNode> owned = std::move(*position);
    owned->parent_->children_.erase(position);
    destroy(std::move(owned), &Tree::childrenOf);
    if (observer_ != nullptr) observer_->nodeRemoved();
}

bool Tree::setKey(TreeNode& node, std::string key)
{
    if (&node == root_.get() || key.empty()) return false;
    const auto found = index_.find(key);
    if (found != index_.end() && found->second != &node) return false;
    index_.erase(node.key_);
    node.key_ = std::move(key);
    index_.emplace(std::string_view(node.key_), &node);
    if (observer_ != nullptr) observer_->nodeChanged(node);
    return true;
}

bool Tree::setKeys(const std::vector<std::pair<TreeNode*, std::string>>& changes)
{
    std::unordered_set<const TreeNode*> moving;
    std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual> arriving;
    for (const auto& [node, key] : changes) {
        if (node == root_.get() || key.empty()) return false;
        moving.insert(node);
    }
    for (const auto& [node, key] : changes) {
        const auto found = index_.find(key);
        if (found != index_.end() && !moving.contains(found->second)) return false;
        if (!arriving.insert(key).second) return false;
    }
    for (const auto& change : changes)
        index_.erase(change.first->key_);
    for (const auto& [node, key] : changes) {
        node->key_ = key;
        index_.emplace(std::string_view(node->key_), node);
    }
    if (observer_ != nullptr)
        for (const auto& change : changes)
            observer_->nodeChanged(*change.first);
    return true;
}

}  // namespace orva::editor
