#pragma once
// The address space: elements with a name (branches and tags), branch nodes that hold child
// branches and leaves, and the root that knows the delimiter of item IDs.
//
// A node holds one reference on each child. Names are unique per kind below one node: addBranch
// and addLeaf refuse a child whose name is already taken by a branch (resp. leaf) of that node,
// leave the tree unchanged and take no reference, so the caller's reference is the only one
// (dropping it destroys the refused child). A branch and a leaf may share a name.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opc/SOCmnObject.h"
#include "opc/SOCmnString.h"

namespace orva::opc {

class SODaSNode;
class SODaSItemTag;
class SODaSNameSpaceRoot;

class SODaSElement : public SOCmnObject {
public:
    explicit SODaSElement(uint32_t objectType) : SOCmnObject(objectType) {}

    const std::string& getName() const noexcept { return name_; }
    // Refused (false) once the element has been added to a node.
    bool setName(std::string name);

    // The node that holds this element, null while it is not in the address space.
    SODaSNode* getParentBranch() const noexcept { return parent_; }
    // Names from below the root down to this element, joined by the root's delimiter; the bare
    // name for an element outside the address space.
    std::string getItemID() const;

private:
    friend class SODaSNode;
    std::string name_;
    SODaSNode* parent_ = nullptr;  // not counted: the parent holds the child
};

class SODaSNode : public SODaSElement {
public:
    explicit SODaSNode(uint32_t objectType = SOCMNOBJECT_TYPE_NODE) : SODaSElement(objectType) {}

    // Takes a reference; false (nothing taken) for null, a child that already has a parent, a
    // name already used by a branch here, or a name holding a character the root refuses.
    bool addBranch(SODaSNode* branch);
    // Takes a reference; false (nothing taken) for the same reasons with leaves.
    bool addLeaf(SODaSItemTag* tag);

    // Direct children only, exact names.
    SOCmnPointer<SODaSNode> findBranch(std::string_view name) const;
    SOCmnPointer<SODaSItemTag> findLeaf(std::string_view name) const;

    // Counted copies of the children, in the order they were added.
    std::vector<SOCmnPointer<SODaSNode>> getBranches() const;
    std::vector<SOCmnPointer<SODaSItemTag>> getLeaves() const;
    std::size_t getBranchCount() const;
    std::size_t getLeafCount() const;

    // Releases every child, depth first (toolkit terminate).
    void removeAllChildren();

    // The root above this node (this node if it is the root), null when not attached.
    const SODaSNameSpaceRoot* findRoot() const noexcept;

protected:
    ~SODaSNode() override;

private:
    bool nameAllowed(std::string_view name) const;

    mutable std::mutex mutex_;
    std::vector<SODaSNode*> branches_;  // counted
    std::unordered_map<std::string_view, SODaSNode*> branchIndex_;
    std::vector<SODaSItemTag*> leaves_;  // counted
    std::unordered_map<std::string_view, SODaSItemTag*> leafIndex_;
};

// A branch made with its name.
class SODaSNodeDefault : public SODaSNode {
public:
    explicit SODaSNodeDefault(std::string name);
};

class SODaSNameSpaceRoot : public SODaSNode {
public:
    SODaSNameSpaceRoot();

    // The delimiter placed between names in item IDs; accepted: further characters that clients
    // may use between names; bad: characters refused in names of new elements.
    char getTreeDelimiter(SOCmnString* accepted, SOCmnString* bad) const;
    void setTreeDelimiter(char create, const SOCmnString& accepted, const SOCmnString& bad);
    char getDelimiter() const;
    bool isBadCharacter(char c) const;

    // Resolves an item ID to a tag or a branch. Names holding a delimiter are found too: at each
    // level a leaf named like the whole rest wins, then branches named like a prefix are tried.
    SOCmnPointer<SODaSItemTag> findTag(std::string_view itemId) const;
    // "" is the root itself.
    SOCmnPointer<SODaSNode> findNode(std::string_view itemId) const;

private:
    bool isSeparator(char c) const;
    mutable std::mutex delimiterMutex_;
    char delimiter_ = '.';
    std::string accepted_ = "./";
    std::string bad_ = "\"'*?";
};

}  // namespace orva::opc
