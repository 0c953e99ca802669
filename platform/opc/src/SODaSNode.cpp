#include "opc/SODaSNode.h"

#include "opc/SODaSTag.h"

namespace orva::opc {

bool SODaSElement::setName(std::string name)
{
    if (parent_) return false;
    name_ = std::move(name);
    return true;
}

std::string SODaSElement::getItemID() const
{
    std::vector<const SODaSElement*> chain;
    const SODaSElement* e = this;
    const SODaSNameSpaceRoot* root = nullptr;
    while (e) {
        if (e->is(SOCMNOBJECT_TYPE_ROOT)) {
            root = static_cast<const SODaSNameSpaceRoot*>(e);
            break;
        }
        chain.push_back(e);
        e = e->parent_;
    }
    const char delimiter = root ? root->getDelimiter() : '.';
    std::string id;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!id.empty() || it != chain.rbegin()) id.push_back(delimiter);
        id += (*it)->getName();
    }
    return id;
}

SODaSNode::~SODaSNode()
{
    removeAllChildren();
}

const SODaSNameSpaceRoot* SODaSNode::findRoot() const noexcept
{
    const SODaSElement* e = this;
    while (e) {
        if (e->is(SOCMNOBJECT_TYPE_ROOT)) return static_cast<const SODaSNameSpaceRoot*>(e);
        e = e->getParentBranch();
    }
    return nullptr;
}

bool SODaSNode::nameAllowed(std::string_view name) const
{
    const SODaSNameSpaceRoot* root = findRoot();
    if (!root) return true;
    for (char c : name)
        if (root->isBadCharacter(c)) return false;
    return true;
}

bool SODaSNode::addBranch(SODaSNode* branch)
{
    if (!branch || branch == this || branch->parent_ || branch->is(SOCMNOBJECT_TYPE_ROOT)) return false;
    if (!nameAllowed(branch->getName())) return false;
    std::lock_guard g(mutex_);
    if (branchIndex_.count(branch->getName())) return false;
    branch->addRef();
    branch->parent_ = this;
    branches_.push_back(branch);
    branchIndex_.emplace(branch->getName(), branch);
    return true;
}

bool SODaSNode::addLeaf(SODaSItemTag* tag)
{
    if (!tag || tag->getParentBranch()) return false;
    if (!nameAllowed(tag->getName())) return false;
    std::lock_guard g(mutex_);
    if (leafIndex_.count(tag->getName())) return false;
    tag->addRef();
    tag->parent_ = this;
    leaves_.push_back(tag);
    leafIndex_.emplace(tag->getName(), tag);
    return true;
}

SOCmnPointer<SODaSNode> SODaSNode::findBranch(std::string_view name) const
{
    std::lock_guard g(mutex_);
    auto it = branchIndex_.find(name);
    return it == branchIndex_.end() ? SOCmnPointer<SODaSNode>() : shareRef(it->second);
}

SOCmnPointer<SODaSItemTag> SODaSNode::findLeaf(std::string_view name) const
{
    std::lock_guard g(mutex_);
    auto it = leafIndex_.find(name);
    return it == leafIndex_.end() ? SOCmnPointer<SODaSItemTag>() : shareRef(it->second);
}

std::vector<SOCmnPointer<SODaSNode>> SODaSNode::getBranches() const
{
    std::lock_guard g(mutex_);
    std::vector<SOCmnPointer<SODaSNode>> out;
    out.reserve(branches_.size());
    for (SODaSNode* b : branches_)
        out.push_back(shareRef(b));
    return out;
}

std::vector<SOCmnPointer<SODaSItemTag>> SODaSNode::getLeaves() const
{
    std::lock_guard g(mutex_);
    std::vector<SOCmnPointer<SODaSItemTag>> out;
    out.reserve(leaves_.size());
    for (SODaSItemTag* t : leaves_)
        out.push_back(shareRef(t));
    return out;
}

std::size_t SODaSNode::getBranchCount() const
{
    std::lock_guard g(mutex_);
    return branches_.size();
}

std::size_t SODaSNode::getLeafCount() const
{
    std::lock_guard g(mutex_);
    return leaves_.size();
}

void SODaSNode::removeAllChildren()
{
    std::vector<SODaSNode*> branches;
    std::vector<SODaSItemTag*> leaves;
    {
        std::lock_guard g(mutex_);
        branches.swap(branches_);
        leaves.swap(leaves_);
        branchIndex_.clear();
        leafIndex_.clear();
    }
    for (SODaSItemTag* t : leaves) {
        t->parent_ = nullptr;
        t->release();
    }
    for (SODaSNode* b : branches) {
        b->removeAllChildren();
        b->parent_ = nullptr;
        b->release();
    }
}

SODaSNodeDefault::SODaSNodeDefault(std::string name)
{
    setName(std::move(name));
}

SODaSNameSpaceRoot::SODaSNameSpaceRoot() : SODaSNode(SOCMNOBJECT_TYPE_NODE | SOCMNOBJECT_TYPE_ROOT) {}

char SODaSNameSpaceRoot::getTreeDelimiter(SOCmnString* accepted, SOCmnString* bad) const
{
    std::lock_guard g(delimiterMutex_);
    if (accepted) *accepted = SOCmnString(accepted_);
    if (bad) *bad = SOCmnString(bad_);
    return delimiter_;
}

void SODaSNameSpaceRoot::setTreeDelimiter(char create, const SOCmnString& accepted, const SOCmnString& bad)
{
    std::lock_guard g(delimiterMutex_);
    delimiter_ = create;
    accepted_ = accepted.str();
    bad_ = bad.str();
}

char SODaSNameSpaceRoot::getDelimiter() const
{
    std::lock_guard g(delimiterMutex_);
    return delimiter_;
}

bool SODaSNameSpaceRoot::isBadCharacter(char c) const
{
    std::lock_guard g(delimiterMutex_);
    return bad_.find(c) != std::string::npos;
}

bool SODaSNameSpaceRoot::isSeparator(char c) const
{
    std::lock_guard g(delimiterMutex_);
    return c == delimiter_ || accepted_.find(c) != std::string::npos;
}

namespace {

constexpr std::size_t kMaxItemIdLength = 4096;
constexpr int kMaxDepth = 256;

}  // namespace

// Tries every split of `rest` at a separator below `node`; leaves (wantLeaf) or branches.
static bool resolve(const SODaSNameSpaceRoot& root, const SODaSNode& node, std::string_view rest,
                    bool wantLeaf, int depth, SOCmnPointer<SODaSItemTag>& tag,
                    SOCmnPointer<SODaSNode>& branch, bool (SODaSNameSpaceRoot::*isSep)(char) const)
{
    if (depth > kMaxDepth) return false;
    if (wantLeaf) {
        if (auto t = node.findLeaf(rest)) {
            tag = t;
            return true;
        }
    } else if (auto b = node.findBranch(rest)) {
        branch = b;
        return true;
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (!(root.*isSep)(rest[i])) continue;
        if (auto b = node.findBranch(rest.substr(0, i))) {
            if (resolve(root, *b, rest.substr(i + 1), wantLeaf, depth + 1, tag, branch, isSep)) return true;
        }
    }
    return false;
}

SOCmnPointer<SODaSItemTag> SODaSNameSpaceRoot::findTag(std::string_view itemId) const
{
    SOCmnPointer<SODaSItemTag> tag;
    SOCmnPointer<SODaSNode> branch;
    if (itemId.empty() || itemId.size() > kMaxItemIdLength) return tag;
    resolve(*this, *this, itemId, true, 0, tag, branch, &SODaSNameSpaceRoot::isSeparator);
    return tag;
}

SOCmnPointer<SODaSNode> SODaSNameSpaceRoot::findNode(std::string_view itemId) const
{
    SOCmnPointer<SODaSItemTag> tag;
    SOCmnPointer<SODaSNode> branch;
    if (itemId.empty()) return shareRef(const_cast<SODaSNode*>(static_cast<const SODaSNode*>(this)));
    if (itemId.size() > kMaxItemIdLength) return branch;
    resolve(*this, *this, itemId, false, 0, tag, branch, &SODaSNameSpaceRoot::isSeparator);
    return branch;
}

}  // namespace orva::opc
