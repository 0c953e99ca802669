#pragma once
// The tree of nodes that mirrors the configuration in the main window: the root (the file
// path), PLCs below it, branches and items below PLCs and branches. Nodes hold keys, texts and
// kind tags only; the objects live in the model's collections. Keys are unique (without regard
// to letter case) and found in constant time; children keep their order.

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "editor/Text.h"

namespace orva::editor {

enum class NodeKind { Config, Plc, Branch, Item };

std::string_view kindTag(NodeKind kind);  // "config", "plc", "branch", "item"

class TreeNode {
public:
    const std::string& key() const { return key_; }
    const std::string& text() const { return text_; }
    NodeKind kind() const { return kind_; }
    std::string_view tag() const { return kindTag(kind_); }
    std::string_view image() const { return kindTag(kind_); }
    TreeNode* parent() const { return parent_; }
    bool expanded() const { return expanded_; }
    void setExpanded(bool expanded) { expanded_ = expanded; }

    using Children = std::list<std::unique_ptr<TreeNode>>;
    const Children& children() const { return children_; }
    std::size_t childCount() const { return children_.size(); }

    // True when this node is `other` or lies above it.
    bool isAncestorOf(const TreeNode& other) const;

private:
    friend class Tree;
    std::string key_;
    std::string text_;
    NodeKind kind_ = NodeKind::Config;
    TreeNode* parent_ = nullptr;
    bool expanded_ = false;
    Children children_;
    Children::iterator inParent_;
    std::list<TreeNode*>::iterator inOrder_;
};

// Told of every change of a tree, so that a view over it can show exactly what changed. Each
// "about to" call comes before the change, while the tree still has its old shape.
class TreeObserver {
public:
    virtual ~TreeObserver() = default;
    virtual void nodeAboutToBeAdded(const TreeNode& parent, const TreeNode* before) = 0;
    virtual void nodeAdded(const TreeNode& node) = 0;
    virtual void nodeAboutToBeRemoved(const TreeNode& node) = 0;  // with its whole subtree
    virtual void nodeRemoved() = 0;
    virtual void nodeChanged(const TreeNode& node) = 0;  // its key or text
    virtual void treeAboutToBeReset() = 0;
    virtual void treeReset() = 0;
};

class Tree {
public:
    explicit Tree(std::string rootText = {});
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Drops every node and starts again with a root of the given text.
    void reset(std::string rootText);

    TreeNode& root() { return *root_; }
    const TreeNode& root() const { return *root_; }

    // The node of a key; the empty key names the root. Null when there is none.
    TreeNode* find(std::string_view key) const;
    bool containsKey(std::string_view key) const;

    // Adds a node as the last child of `parent`; null (and nothing added) when the key is taken.
    TreeNode* add(TreeNode& parent, std::string key, std::string text, NodeKind kind);

    // Adds a node among the children of `parent` in front of `before` (at the end when `before` is
    // null); null (and nothing added) when the key is taken or `before` is not a child of `parent`.
    TreeNode* insertBefore(TreeNode& parent, const TreeNode* before, std::string key, std::string text,
                           NodeKind kind);

    // Removes a node with its whole subtree. The root cannot be removed.
    void remove(TreeNode& node);

    void setText(TreeNode& node, std::string text);

    // At most one observer; null stops telling. The observer must outlive its registration.
    void setObserver(TreeObserver* observer) { observer_ = observer; }

    // Gives a node another key; false (nothing changes) when the new key is taken by another node.
    bool setKey(TreeNode& node, std::string key);

    // Gives several nodes new keys at once, so that keys may be exchanged among them; false
    // (nothing changes) when a new key is taken by a node outside the batch or given twice.
    bool setKeys(const std::vector<std::pair<TreeNode*, std::string>>& changes);

    // Every node but the root, in the order in which the nodes were added.
    const std::list<TreeNode*>& nodesInOrder() const { return order_; }
    std::size_t size() const { return order_.size() + 1; }

private:
    static TreeNode::Children& childrenOf(TreeNode& node);

    std::unique_ptr<TreeNode> root_;
    // Keys of the index look into the nodes' own key strings.
    std::unordered_map<std::string_view, TreeNode*, NoCaseHash, NoCaseEqual> index_;
    std::list<TreeNode*> order_;  // root excluded; it is always node 1
    TreeObserver* observer_ = nullptr;
};

}  // namespace orva::editor
