// Tags in and out of spreadsheets: export of a node's items as CSV, and import of such a file
// with every row checked as the item dialog checks its fields before anything changes.
#include <array>
#include <unordered_map>

#include "Guard.h"
#include "ItemFromForm.h"
#include "RecordedEdit.h"
#include "Validation.h"
#include "config/Limits.h"
#include "editor/Csv.h"
#include "editor/Text.h"

namespace orva::editor {

namespace {

constexpr std::array<std::string_view, 9> kColumns = {"Path",     "Name", "Comment",  "DataType", "DataBlock",
                                                      "DataByte", "Bit",  "Elements", "Access"};
enum Column {
    PathColumn,
    NameColumn,
    CommentColumn,
    TypeColumn,
    BlockColumn,
    ByteColumn,
    BitColumn,
    ElementsColumn,
    AccessColumn
};

const TreeNode* plcOf(const TreeNode* node)
{
    while (node != nullptr && node->kind() != NodeKind::Plc)
        node = node->parent();
    return node;
}

std::vector<std::string> splitPath(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        std::string part = trimSpaces(path.substr(start, slash - start));
        if (!part.empty()) parts.push_back(std::move(part));
        start = slash + 1;
    }
    return parts;
}

std::string joinedPath(const std::vector<std::string>& parts, std::size_t count)
{
    std::string path;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        if (!path.empty()) path += '/';
        path += parts[i];
    }
    return path;
}

}  // namespace

std::string refusalReport(const TagImportPlan& plan)
{
    std::string report;
    for (const auto& refusal : plan.refused) {
        if (refusal.line > 0) report += "Line " + std::to_string(refusal.line) + ": ";
        report += refusal.reason;
        report += '\n';
    }
    return report;
}

// ----- Export -----

std::string EditorModel::exportTagsCsv(std::string_view scopeKey) const
{
    const TreeNode* scope = tree.find(scopeKey);
    if (scope == nullptr) return {};
    std::string out(kUtf8Bom);
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        if (c > 0) out += ',';
        out += kColumns[c];
    }
    out += "\r\n";
    const bool withPlc = scope->kind() == NodeKind::Config;
    // The path of a node's items: its branches below the PLC (with the PLC first for the root).
    const auto pathOf = [&](const TreeNode& holder) {
        std::vector<std::string> parts;
        for (const TreeNode* node = &holder; node != nullptr && node->kind() != NodeKind::Config;
             node = node->parent()) {
            if (node->kind() == NodeKind::Plc && !withPlc) break;
            parts.insert(parts.begin(), node->text());
        }
        return joinedPath(parts, parts.size());
    };
    std::vector<std::pair<const TreeNode*, std::string>> pending{
        {scope, pathOf(scope->kind() == NodeKind::Item ? *scope->parent() : *scope)}};
    while (!pending.empty()) {
        auto [node, path] = std::move(pending.back());
        pending.pop_back();
        if (node->kind() == NodeKind::Item) {
            const auto item = items.get(node->key());
            if (!item) continue;
            const std::string fields[] = {path,
                                          item->sName(),
                                          item->sComment(),
                                          item->GetVtType(),
                                          std::to_string(item->nBlock()),
                                          std::to_string(item->nAddress()),
                                          std::to_string(item->nBitNumber()),
                                          std::to_string(item->nElements()),
                                          item->sAccessRight()};
            for (std::size_t c = 0; c < std::size(fields); ++c) {
                if (c > 0) out += ',';
                out += csvField(fields[c]);
            }
            out += "\r\n";
            continue;
        }
        // Children in reverse, so that they come off the stack in tree order.
        for (auto it = node->children().rbegin(); it != node->children().rend(); ++it) {
            const TreeNode& child = **it;
            std::string childPath = path;
            if (child.kind() != NodeKind::Item)
                childPath = path.empty() ? child.text() : path + "/" + child.text();
            pending.emplace_back(&child, std::move(childPath));
        }
    }
    return out;
}

// ----- Import -----

TagImportPlan EditorModel::planTagImport(std::string_view targetKey, std::string_view bytes)
{
    TagImportPlan plan;
    const TreeNode* target = tree.find(targetKey);
    if (!isOpen || target == nullptr || target->kind() == NodeKind::Item) {
        plan.refused.push_back({0, "Select the configuration, a PLC or a branch to import tags into."});
        return plan;
    }
    const TreeNode* targetPlc = plcOf(target);
    const CsvTable table = parseCsv(bytes);
    if (table.error) {
        plan.refused.push_back({0, *table.error});
        return plan;
    }
    if (table.records.empty()) {
        plan.refused.push_back({0, "The file holds no header and no tags."});
        return plan;
    }

    // Columns by their header names, in any order.
    std::array<int, kColumns.size()> columnAt{};
    columnAt.fill(-1);
    const CsvRecord& header = table.records.front();
    for (std::size_t f = 0; f < header.fields.size(); ++f)
        for (std::size_t c = 0; c < kColumns.size(); ++c)
            if (equalNoCase(trimSpaces(header.fields[f]), kColumns[c])) columnAt[c] = static_cast<int>(f);
    for (const Column required : {NameColumn, TypeColumn, BlockColumn, ByteColumn}) {
        if (columnAt[required] < 0) {
            std::string names;
            for (const auto column : kColumns)
                names += (names.empty() ? "" : ",") + std::string(column);
            plan.refused.push_back({header.line, "The first line must name the columns " + names + "."});
            return plan;
        }
    }

    // Keys the accepted rows will take, so that rows are also checked against each other.
    plan.rows.reserve(table.records.size());
    std::unordered_map<std::string_view, int, NoCaseHash, NoCaseEqual> newItems;
    std::unordered_map<std::string, std::string, NoCaseHash, NoCaseEqual>
        newBranches;  // key as first written
    // Where the items of a path go: the PLC, then the branches of the path, which may be new.
    struct ResolvedPath {
        std::string parentKey;
        std::string refusal;
        std::string shown;  // the path as written, for messages
    };
    const auto resolve = [&](const std::string& pathText) {
        ResolvedPath where;
        const std::vector<std::string> path = splitPath(pathText);
        where.shown = path.empty() ? std::string("the PLC") : joinedPath(path, path.size());
        std::size_t first = 0;
        if (targetPlc != nullptr) {
            where.parentKey = targetPlc->key();
        } else {
            if (path.empty()) {
                where.refusal = "The path must begin with the name of a PLC.";
                return where;
            }
            const TreeNode* plc = tree.find(path.front());
            if (plc == nullptr || plc->kind() != NodeKind::Plc) {
                where.refusal = "There is no PLC named " + path.front() + ".";
                return where;
            }
            where.parentKey = plc->key();
            first = 1;
        }
        if (path.size() - first > static_cast<std::size_t>(config::kMaxBranchDepth)) {
            where.refusal =
                "The path is nested deeper than " + std::to_string(config::kMaxBranchDepth) + " branches.";
            return where;
        }
        for (std::size_t i = first; i < path.size(); ++i) {
            if (const auto problem = enteredNameProblem(ObjectKind::Branch, path[i])) {
                where.refusal = *problem;
                return where;
            }
            const std::string key = where.parentKey + "." + path[i];
            if (const TreeNode* node = tree.find(key)) {
                if (node->kind() != NodeKind::Branch) {
                    where.refusal = joinedPath(path, i + 1) + " is an item, not a branch.";
                    return where;
                }
                where.parentKey = node->key();
            } else if (const auto item = newItems.find(key); item != newItems.end()) {
                where.refusal =
                    joinedPath(path, i + 1) + " is the item of line " + std::to_string(item->second) + ".";
                return where;
            } else {
                where.parentKey = newBranches.try_emplace(key, key).first->second;
            }
        }
        return where;
    };
    // Rows of a tag list share few paths; each is followed once (a later row cannot change
    // where an earlier one leads, since items are refused where branches are planned).
    std::unordered_map<std::string, ResolvedPath> resolvedPaths;
    std::string message;
    checkMessage_ = &message;
    for (std::size_t r = 1; r < table.records.size(); ++r) {
        const CsvRecord& record = table.records[r];
        const auto refuse = [&](std::string reason) {
            plan.refused.push_back({record.line, std::move(reason)});
        };
        if (record.fields.size() > header.fields.size()) {
            refuse("The row has " + std::to_string(record.fields.size()) + " fields, the first line " +
                   std::to_string(header.fields.size()) + ".");
            continue;
        }
        // Control characters would not survive the file; a comment may hold tabs and line breaks.
        bool printable = true;
        for (std::size_t f = 0; f < record.fields.size() && printable; ++f)
            for (const char c : record.fields[f])
                if (static_cast<unsigned char>(c) < 0x20 &&
                    !(static_cast<int>(f) == columnAt[CommentColumn] &&
                      (c == '\t' || c == '\r' || c == '\n')))
                    printable = false;
        if (!printable) {
            refuse("The row holds a control character.");
            continue;
        }
        const auto field = [&](Column column, std::string_view missing = {}) {
            const int at = columnAt[column];
            if (at < 0) return std::string(missing);
            return static_cast<std::size_t>(at) < record.fields.size()
                       ? record.fields[static_cast<std::size_t>(at)]
                       : std::string();
        };

        const std::string pathText = field(PathColumn);
        auto resolved = resolvedPaths.find(pathText);
        if (resolved == resolvedPaths.end())
            resolved = resolvedPaths.emplace(pathText, resolve(pathText)).first;
        const ResolvedPath& where = resolved->second;
        if (!where.refusal.empty()) {
            refuse(where.refusal);
            continue;
        }
        const std::string& parentKey = where.parentKey;

        // The fields, checked as the item dialog checks them.
        ItemForm form;
        form.name = trimSpaces(field(NameColumn));
        form.comment = field(CommentColumn);
        const std::string typeText = trimSpaces(field(TypeColumn));
        std::string dataType = VtToDisplayType(typeText);
        if (dataType.empty() && !DisplayToVtType(typeText).empty()) dataType = typeText;
        if (dataType.empty()) {
            refuse("DataType \"" + typeText +
                   "\" is not one of VT_BOOL, VT_UI1, VT_UI2, VT_UI4, VT_I1, VT_I2, "
                   "VT_I4, VT_R4, VT_BSTR or an ARRAY of one of them.");
            continue;
        }
        changeDataType(form, dataType);
        form.address = trimSpaces(field(ByteColumn));
        form.block = trimSpaces(field(BlockColumn));
        form.bit = trimSpaces(field(BitColumn, "0"));
        form.elements = trimSpaces(field(ElementsColumn, "0"));
        form.accessRight = upperText(trimSpaces(field(AccessColumn, "READWRITE")));
        if (form.accessRight != "READ" && form.accessRight != "WRITE" && form.accessRight != "READWRITE") {
            refuse("Access must be READ, WRITE or READWRITE.");
            continue;
        }
        message.clear();
        if (!CheckFields(form)) {
            refuse(message.empty() ? std::string("The row is not valid.") : message);
            continue;
        }
        std::string key = parentKey + "." + form.name;
        if (tree.containsKey(key) || (!newBranches.empty() && newBranches.contains(key))) {
            refuse("Name already existing: " + form.name + " in " + where.shown + ".");
            continue;
        }
        // The row holds its key; the index of new items looks into it (the rows never move).
        plan.rows.push_back({record.line, parentKey, std::move(form), std::move(key)});
        if (const auto [earlier, fresh] =
                newItems.try_emplace(std::string_view(plan.rows.back().key), record.line);
            !fresh) {
            plan.rows.pop_back();
            refuse("Name already existing: the same item is on line " + std::to_string(earlier->second) +
                   ".");
            continue;
        }
    }
    checkMessage_ = nullptr;
    return plan;
}

EditResult EditorModel::applyTagImport(const TagImportPlan& plan)
{
    EditRecorder recorder(*this);
    EditResult result;
    result.added.reserve(plan.rows.size());
    guarded("ImportTags", [&] {
        std::unordered_map<std::string, TreeNode*, NoCaseHash, NoCaseEqual> holders;
        // The node of a parent key, with the branches on the way created when missing.
        const auto holderOf = [&](const std::string& key) -> TreeNode& {
            if (const auto found = holders.find(key); found != holders.end()) return *found->second;
            TreeNode* node = tree.find(key);
            if (node == nullptr) {
                const std::size_t dot = key.rfind('.');
                if (dot == std::string::npos) raise(ErrorCode::ElementNotFound, key);
                std::vector<std::string> missing;
                std::string up = key;
                while (tree.find(up) == nullptr) {
                    const std::size_t at = up.rfind('.');
                    if (at == std::string::npos) raise(ErrorCode::ElementNotFound, up);
                    missing.push_back(up);
                    up = up.substr(0, at);
                }
                node = tree.find(up);
                for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
                    auto branch = std::make_shared<clsBranch>();
                    branch->sName(it->substr(it->rfind('.') + 1));
                    branch->sKey(*it);
                    if (!branches.add(*it, branch)) raise(ErrorCode::DuplicateKey, *it);
                    node = tree.add(*node, *it, branch->sName(), NodeKind::Branch);
                    if (node == nullptr) raise(ErrorCode::KeyNotUnique, *it);
                    result.added.push_back(*it);
                }
            }
            holders.emplace(key, node);
            return *node;
        };
        for (const auto& row : plan.rows) {
            TreeNode& parent = holderOf(row.parentKey);
            auto item = SetByForm(row.form, row.key);
            // The tree refuses a taken key before the collection has changed.
            TreeNode* node = tree.add(parent, item->sKey(), item->sName(), NodeKind::Item);
            if (node == nullptr) raise(ErrorCode::KeyNotUnique, item->sKey());
            if (!items.add(item->sKey(), item)) {
                tree.remove(*node);
                raise(ErrorCode::DuplicateKey, item->sKey());
            }
            result.added.push_back(item->sKey());
            result.done = true;
        }
    });
    if (result.done) isSaved = false;
    recorder.commit(result, "Import");
    return result;
}

}  // namespace orva::editor
