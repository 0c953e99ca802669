#include "editor/Tree.h"

#include <vector>

#include "editor/Text.h"

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

Tree::Tree(std::string rootText)
{
    reset(std::move(rootText));
}

Tree::~Tree()
{
    // Tear the nodes down level by level so that a deep tree cannot exhaust the stack.
    if (!root_) return;
    std::vector<std::unique_ptr<TreeNode>> pending;
    pending.push_back(std::move(root_));
    while (!pending.empty()) {
        auto node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children_)
            pending.push_back(std::move(child));
    }
}

void Tree::reset(std::string rootText)
{
    index_.clear();
    order_.clear();
    if (root_) {
        std::vector<std::unique_ptr<TreeNode>> pending;
        for (auto& child : root_->children_)
            pending.push_back(std::move(child));
        while (!pending.empty()) {
            auto node = std::move(pending.back());
            pending.pop_back();
            for (auto& child : node->children_)
                pending.push_back(std::move(child));
        }
    }
    root_ = std::make_unique<TreeNode>();
    root_->kind_ = NodeKind::Config;
    root_->text_ = std::move(rootText);
}

TreeNode* Tree::find(std::string_view key) const
{
    if (key.empty()) return root_.get();
    const auto found = index_.find(upperText(key));
    return found == index_.end() ? nullptr : found->second;
}

bool Tree::containsKey(std::string_view key) const
{
    return find(key) != nullptr;
}

TreeNode* Tree::add(TreeNode& parent, std::string key, std::string text, NodeKind kind)
{
    if (key.empty()) return nullptr;
    auto folded = upperText(key);
    if (index_.contains(folded)) return nullptr;
    auto node = std::make_unique<TreeNode>();
    node->key_ = std::move(key);
    node->text_ = std::move(text);
    node->kind_ = kind;
    node->parent_ = &parent;
    TreeNode* raw = node.get();
    parent.children_.push_back(std::move(node));
    raw->inParent_ = std::prev(parent.children_.end());
    order_.push_back(raw);
    raw->inOrder_ = std::prev(order_.end());
    index_.emplace(std::move(folded), raw);
    return raw;
}

void Tree::unindex(TreeNode& top)
{
    std::vector<TreeNode*> pending{&top};
    while (!pending.empty()) {
        TreeNode* node = pending.back();
        pending.pop_back();
        index_.erase(upperText(node->key_));
        order_.erase(node->inOrder_);
        for (auto& child : node->children_)
            pending.push_back(child.get());
    }
}

void Tree::remove(TreeNode& node)
{
    if (&node == root_.get() || node.parent_ == nullptr) return;
    unindex(node);
    TreeNode* parent = node.parent_;
    std::unique_ptr<TreeNode> owned = std::move(*node.inParent_);
    parent->children_.erase(node.inParent_);
    std::vector<std::unique_ptr<TreeNode>> pending;
    pending.push_back(std::move(owned));
    while (!pending.empty()) {
        auto current = std::move(pending.back());
        pending.pop_back();
        for (auto& child : current->children_)
            pending.push_back(std::move(child));
    }
}

bool Tree::setKey(TreeNode& node, std::string key)
{
    if (&node == root_.get() || key.empty()) return false;
    auto folded = upperText(key);
    const auto found = index_.find(folded);
    if (found != index_.end() && found->second != &node) return false;
    index_.erase(upperText(node.key_));
    node.key_ = std::move(key);
    index_[std::move(folded)] = &node;
    return true;
}

bool Tree::setKeys(const std::vector<std::pair<TreeNode*, std::string>>& changes)
{
    std::unordered_map<std::string, TreeNode*> leaving;
    for (const auto& [node, key] : changes) {
        if (node == root_.get() || key.empty()) return false;
        leaving.emplace(upperText(node->key_), node);
    }
    std::unordered_map<std::string, TreeNode*> arriving;
    for (const auto& [node, key] : changes) {
        auto folded = upperText(key);
        const auto found = index_.find(folded);
        if (found != index_.end() && !leaving.contains(folded)) return false;
        if (!arriving.emplace(std::move(folded), node).second) return false;
    }
    for (const auto& entry : leaving)
        index_.erase(entry.first);
    for (const auto& [node, key] : changes)
        node->key_ = key;
    for (auto& entry : arriving)
        index_[entry.first] = entry.second;
    return true;
}

}  // namespace orva::editor
