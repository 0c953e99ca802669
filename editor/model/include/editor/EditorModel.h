#pragma once
// Kalder's open configuration and every operation on it. The model owns the collections, the
// tree, the item clipboard, the counters and the flags; the windows call its operations with
// the current selection and update their views from what each operation returns. Whatever the
// editor has to say or ask goes through the UserInterface it was given.

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "editor/Forms.h"
#include "editor/KeyedCollection.h"
#include "editor/Objects.h"
#include "editor/Tree.h"
#include "editor/UndoStack.h"
#include "editor/UserInterface.h"

namespace pugi {
class xml_node;
struct xml_parse_result;
}  // namespace pugi

namespace orva::editor {

// What the windows select when they call an operation.
struct Selection {
    std::string node;               // key of the selected tree node; "" is the root
    bool listHasFocus = false;      // the list, not the tree, has the input focus
    std::vector<std::string> rows;  // keys of the selected list rows, in list order
};

struct KeyChange {
    std::string oldKey;
    std::string newKey;  // the node's text may have changed as well
};

// What a view must update after an operation. Apply `removed`, then `rekeyed` as one batch
// (keys may be exchanged among its entries), then `added` (parents come before children).
struct EditResult {
    bool done = false;                       // the operation changed the model
    std::vector<std::string> removed;        // top nodes of removed subtrees
    std::vector<KeyChange> rekeyed;          // nodes that stayed in place under a new key or text
    std::vector<std::string> added;          // new nodes
    std::optional<std::string> select;       // node to select afterwards
    std::optional<std::string> refreshList;  // node whose list to show again
};

struct ListColumn {
    std::string title;
    int percent = 0;  // share of the list's width
};

struct ListContent {
    std::vector<ListColumn> columns;
    std::vector<ListRow> rows;
};

// A spreadsheet of tags checked for import: the rows that can be added and the refused ones.
struct TagImportRow {
    int line = 0;
    std::string parentKey;  // key of the PLC or branch the item goes into (branches may be new)
    ItemForm form;
    std::string key;  // the item's key
};
struct TagImportRefusal {
    int line = 0;  // 0: the file as a whole
    std::string reason;
};
struct TagImportPlan {
    std::vector<TagImportRow> rows;
    std::vector<TagImportRefusal> refused;
};
// "Line 4: Data Byte field is not valid. It must be between 0 and 65535." one per line.
std::string refusalReport(const TagImportPlan& plan);

enum class ObjectKind { Plc, Branch, Item };
std::string_view objectKindText(ObjectKind kind);  // "plc", "branch", "item"

class EditorModel {
public:
    explicit EditorModel(UserInterface& ui);

    // ----- State shared by the main window and the dialogs -----
    ServerKind serverType = ServerKind::Vardel;
    InterfaceSettings settings;
    KeyedCollection<clsPLC> plcs;
    KeyedCollection<clsItem> items;
    KeyedCollection<clsBranch> branches;
    Tree tree;
    // The items of the last Copy or Cut; emptied when a configuration is created or closed, and
    // not there at all before the first New (Paste then says there is nothing to paste).
    std::optional<std::vector<std::shared_ptr<clsItem>>> clipboard;
    int copyCount = 1;
    int32_t newPlcNumber = 0;  // 32-bit, so that configurations beyond 32767 objects keep counting
    int32_t newBranchNumber = 0;
    int32_t newItemNumber = 0;
    bool isOpen = false;
    bool isSaved = false;
    std::string filePath;
    // Branches of the file last opened whose names were not in upper case, as the file wrote
    // them with the keys above them ("LINE1.Motor"): saving writes them in upper case.
    std::vector<std::string> branchesUpperCased;
    // Every change of the configuration since it was created or opened, for undo and redo.
    UndoStack undoStack;

    // ----- Configuration life -----
    // A new, empty configuration for one server kind, to be saved as `path`.
    void newConfiguration(ServerKind kind, std::string path);
    // Clears the model (the clipboard stays) and imports the file; true on success.
    bool openConfiguration(const std::string& path);
    void closeConfiguration();
    // The configuration now matches its file (after a save).
    void markSaved();

    // ----- Undo and redo -----
    // Reverts the last edit, or applies again the last one undone; the result names what changed.
    EditResult undo();
    EditResult redo();
    // Tree, list and clipboard cleared, copy counter 1.
    void InitObjects();

    // ----- Files -----
    bool ImportXML(const std::string& path);
    // The same from bytes in memory (the file's content).
    bool importXmlBytes(std::string_view bytes);
    // Writes the configuration file; false when writing failed (the failure has been reported).
    // The file is replaced as a whole only once it has been written completely.
    bool CreateXML(const std::string& path);
    // The same text to a stream.
    bool writeXml(std::ostream& out);
    std::string SettingsXmlTag() const;

    // ----- Keys -----
    // Key of an object named `name` added below the selected node (modify false) or replacing
    // the selected node (modify true).
    std::string MakeChildKey(std::string_view name, std::string_view selectedKey, bool modify) const;
    // After a node's key changed: every descendant's key follows, in the tree and collections.
    void RekeyChildren(TreeNode& node, std::vector<KeyChange>* changes = nullptr);

    // ----- Validation -----
    bool CheckDuplNames(ObjectKind kind, std::string_view name, std::string_view selectedKey, bool add);
    bool CheckChars(std::string_view name);
    // A name the key scheme and the file can carry; reports the first problem and returns false.
    bool CheckName(ObjectKind kind, std::string_view name);
    static bool itemNameKeyFilter(char c);
    static bool numberKeyFilter(char c);
    bool CheckFields(const ItemForm& form);
    bool CheckFields(const PlcForm& form);
    bool checkRedundancy(const RedundancyForm& form);
    bool checkSettings(const SettingsForm& form);

    // ----- PLC, redundancy and settings dialogs -----
    PlcForm newPlcForm() const;
    PlcForm plcFormFor(std::string_view plcKey) const;
    // "Ok" of the PLC dialog, adding below the root or modifying the selected PLC.
    EditResult applyPlcForm(std::string_view selectedKey, const PlcForm& form, bool modify);
    RedundancyForm redundancyFormFor(const PlcForm& plc) const;
    // "Ok" of the redundancy dialog; copies the values into the PLC dialog's members.
    bool applyRedundancy(const RedundancyForm& form, PlcForm& plc);
    SettingsForm settingsForm() const;
    bool applySettings(const SettingsForm& form);

    // ----- Branch dialog -----
    std::string newBranchName() const;  // "NewBranch" and the counter
    EditResult addBranch(std::string_view selectedKey, std::string_view name);
    EditResult renameBranch(std::string_view selectedKey, std::string_view name);

    // ----- Item dialog -----
    ItemForm newItemForm() const;
    ItemForm itemFormFor(std::string_view itemKey) const;
    static void changeDataType(ItemForm& form, std::string_view dataType);
    // Adds the form's item below the selected node, or modifies the selected item.
    EditResult AddItemToColl(std::string_view selectedKey, const ItemForm& form, bool modify);
    // "Add and Increment": adds, then prepares the form for the next item.
    EditResult addAndIncrement(std::string_view selectedKey, ItemForm& form);
    // "Add Group": adds `countText` items with advancing addresses, stopping at the first failure.
    EditResult addGroup(std::string_view selectedKey, ItemForm& form, std::string_view countText);

    // ----- Tree editing -----
    void copy(const Selection& selection);
    EditResult cut(const Selection& selection);
    EditResult paste(std::string_view selectedKey);
    EditResult deleteSelection(const Selection& selection);
    // A drop of `sourceKey` on `targetKey`; Ctrl held makes it a copy.
    EditResult dragDrop(std::string_view sourceKey, std::string_view targetKey, bool copyWithCtrl);
    void RemoveBranch(TreeNode& node);
    void CopySubTree(TreeNode& source, TreeNode& destination, bool copy, EditResult& result);

    // ----- Bulk rename and re-comment -----
    static std::vector<std::string> splitClipboardLines(std::string_view text);
    EditResult pasteName(const Selection& selection);
    EditResult pasteComment(const Selection& selection);

    // ----- Tags in and out of spreadsheets -----
    // The items below a node as CSV with a header; `Path` is the branch path below the PLC,
    // and for the root (every PLC) it begins with the PLC's name.
    std::string exportTagsCsv(std::string_view scopeKey) const;
    // Checks every row of a CSV file for adding its items below the PLC of `targetKey` (for
    // the root: below the PLC each row's path begins with); changes nothing.
    TagImportPlan planTagImport(std::string_view targetKey, std::string_view bytes);
    // Adds the plan's rows, creating missing branches, as one undoable step.
    EditResult applyTagImport(const TagImportPlan& plan);

    // ----- Find -----
    void openFind() { findCounter_ = 0; }
    std::optional<std::string> find(std::string_view text);
    std::optional<std::string> findNext(std::string_view text);

    // ----- List -----
    ListContent listFor(std::string_view nodeKey) const;

    UserInterface& ui() { return ui_; }

private:
    friend class EditRecorder;
    EditResult stepUndoStack(bool back);
    // The keys an operation on the selection acts on: the selected rows or the selected node.
    static std::vector<std::string> selectedKeys(const Selection& selection);
    void report(ErrorCode code, std::string_view routine, std::string_view detail = {});
    // A check's message: shown to the user, or kept while rows of an import are checked.
    void tell(std::string_view text);
    template <class F>
    bool guarded(std::string_view routine, F&& body);

    void resetCollections();
    std::string parseProblem(std::string_view bytes, const pugi::xml_parse_result& parsed) const;
    void clearItemClipboard();
    bool importDocument(std::string_view bytes);
    void writeTo(std::ostream& out);
    void PrintBranch(std::ostream& out, const TreeNode& node, int level);
    void BrowsePlc(const pugi::xml_node& element);
    void BrowseBranch(const pugi::xml_node& element, const pugi::xml_node& tags, const std::string& plcName,
                      const std::string& parentKey, int depth);
    bool copyItems(const Selection& selection);

    UserInterface& ui_;
    int findCounter_ = 0;
    bool writeComplete_ = true;
    int importProgress_ = 0;
    int recordingDepth_ = 0;
    std::string importPath_;  // the file being imported, for messages
    std::string* checkMessage_ = nullptr;
};

}  // namespace orva::editor
