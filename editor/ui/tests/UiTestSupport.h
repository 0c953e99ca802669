#pragma once
// Drives Kalder's real windows on Qt's offscreen platform. Modal dialogs are handed to scripts
// instead of blocking in exec(); message boxes, questions and file choices have scripted answers.

#include <unistd.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/RowListModel.h"

namespace orva::editor::ui::test {

using Script = std::function<void(QDialog&)>;

// Shows each modal dialog without a nested loop and hands it to the next script; a dialog the
// script leaves open is rejected.
class ScriptedRunner final : public DialogRunner {
public:
    std::deque<Script> scripts;
    std::vector<std::string> titles;

    int run(QDialog& dialog) override
    {
        titles.push_back(dialog.windowTitle().toStdString());
        dialog.show();
        if (scripts.empty()) {
            ADD_FAILURE() << "unexpected dialog \"" << titles.back() << '"';
            dialog.reject();
            return dialog.result();
        }
        Script script = std::move(scripts.front());
        scripts.pop_front();
        script(dialog);
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
};

// Real clipboard and "Replace Text" dialog; scripted message boxes, questions and file dialogs.
class ScriptedGui final : public GuiUserInterface {
public:
    explicit ScriptedGui(DialogRunner& runner) : GuiUserInterface(runner) {}

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<Answer> answers;  // Yes when empty
    std::deque<std::optional<std::string>> files;
    std::vector<FileChoice> fileChoices;

    // Questions and file choices go to the real boxes and dialogs (through the runner's scripts).
    bool realQuestions = false;
    bool realFileDialogs = false;

    void message(std::string_view text, Icon) override { messages.emplace_back(text); }
    void error(ErrorCode code, std::string_view routine, std::string_view detail) override
    {
        messages.push_back(formatError(code, routine));
        details.emplace_back(detail);
    }
    std::vector<std::string> details;
    Answer question(std::string_view text, Buttons buttons) override
    {
        if (realQuestions) return GuiUserInterface::question(text, buttons);
        questions.emplace_back(text);
        if (answers.empty()) return Answer::Yes;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> chooseFile(const FileChoice& choice) override
    {
        if (realFileDialogs) return GuiUserInterface::chooseFile(choice);
        fileChoices.push_back(choice);
        if (files.empty()) return std::nullopt;
        auto file = files.front();
        files.pop_front();
        return file;
    }
    std::string lastMessage() const { return messages.empty() ? std::string() : messages.back(); }
};

inline std::filesystem::path sourceDir()
{
    const char* dir = std::getenv("ORVA_SOURCE_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path(ORVA_TEST_SOURCE_DIR);
}

inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class T>
T* child(QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) ADD_FAILURE() << "no " << name;
    return found;
}

inline void click(QObject& parent, const char* name)
{
    if (auto* button = child<QAbstractButton>(parent, name)) button->click();
}

// Replaces a box's text by typing it, through the box's key filter.
inline void type(QObject& parent, const char* name, const QString& text)
{
    auto* box = child<QLineEdit>(parent, name);
    if (box == nullptr) return;
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

inline QString text(QObject& parent, const char* name)
{
    auto* box = child<QLineEdit>(parent, name);
    return box != nullptr ? box->text() : QString();
}

// One main window with its own program folder and registry, for one test.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ =
            std::filesystem::temp_directory_path() / ("kalder-ui-" + std::string(info->test_suite_name()) +
                                                      "-" + info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "registry");
        ::setenv("ORVA_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
        window = std::make_unique<FrmEditing>(gui);
        window->setProgramDirectory(QString::fromStdString(dir_.string()));
        window->show();
        window->activateWindow();
    }
    void TearDown() override
    {
        if (window) {
            window->model().isSaved = true;  // no save question while tearing down
            window.reset();
        }
        EXPECT_TRUE(runner.scripts.empty()) << runner.scripts.size() << " dialog scripts left unused";
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path path(const std::string& name) const { return dir_ / name; }

    bool enabled(const char* menuName) const { return window->action(menuName)->isEnabled(); }
    void trigger(const char* menuName)
    {
        QAction* action = window->action(menuName);
        ASSERT_NE(action, nullptr) << menuName;
        action->trigger();
    }
    // Clicks a toolbar button by its key.
    void press(const char* key)
    {
        auto* button = window->toolBar()->findChild<QAbstractButton*>(QString::fromUtf8(key));
        ASSERT_NE(button, nullptr) << key;
        button->click();
    }

    // A new configuration of the kind of one option of the server-kind dialog.
    void newConfiguration(const char* option)
    {
        runner.scripts.push_back([option](QDialog& d) {
            click(d, option);
            click(d, "cmdOk");
        });
        trigger("mnuNewCfg");
    }

    // A tree node's index; invalid when the tree shows no such node.
    QModelIndex node(const std::string& key) const { return window->tree()->node(key); }
    QModelIndex currentNode() const { return window->tree()->currentIndex(); }
    // The node's rectangle in the tree's viewport, its parents opened and scrolled to.
    QRect nodeRect(const std::string& key) const
    {
        ConfigTree* tree = window->tree();
        const QModelIndex index = node(key);
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            tree->expand(p);
        tree->scrollTo(index);
        return tree->visualRect(index);
    }

    // Clicks a tree node as the user would.
    void clickNode(const std::string& key)
    {
        const QModelIndex index = node(key);
        ASSERT_TRUE(index.isValid()) << key;
        ConfigTree* tree = window->tree();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, nodeRect(key).center());
        ASSERT_EQ(tree->currentIndex(), index) << key;
    }

    // Selects list rows by clicking them, Ctrl held from the second on.
    void clickRows(const std::vector<std::string>& keys)
    {
        QTreeView* view = window->reportView();
        bool first = true;
        for (const auto& key : keys) {
            const int row = window->listModel()->rowOfKey(key);
            ASSERT_GE(row, 0) << key;
            const QModelIndex index = window->listModel()->index(row, 0);
            view->scrollTo(index);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                              view->visualRect(index).center());
            first = false;
        }
    }

    std::vector<std::string> listTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& row : window->listModel()->rows())
            texts.push_back(row.text);
        return texts;
    }

    std::vector<std::string> childTexts(const std::string& key) const
    {
        std::vector<std::string> texts;
        const QModelIndex index = node(key);
        const QAbstractItemModel* model = window->tree()->model();
        if (index.isValid())
            for (int i = 0; i < model->rowCount(index); ++i)
                texts.push_back(model->index(i, 0, index).data().toString().toStdString());
        return texts;
    }

    // Adds a PLC, a branch or items through their dialogs.
    void addPlc(const QString& name)
    {
        clickNode("");
        runner.scripts.push_back([name](QDialog& d) {
            type(d, "txtName", name);
            click(d, "cmdApply");
        });
        press("plc");
    }
    void addBranch(const std::string& parent, const QString& name)
    {
        clickNode(parent);
        runner.scripts.push_back([name](QDialog& d) {
            type(d, "txtName", name);
            click(d, "cmdOk");
        });
        press("branch");
    }
    void addItem(const std::string& parent, const QString& name, const QString& byte = "0",
                 const QString& block = "1")
    {
        clickNode(parent);
        runner.scripts.push_back([=](QDialog& d) {
            type(d, "txtItemName", name);
            type(d, "txtAddress", byte);
            type(d, "txtBlock", block);
            click(d, "cmdOk");
        });
        press("item");
    }

    std::filesystem::path dir_;
    ScriptedRunner runner;
    ScriptedGui gui{runner};
    std::unique_ptr<FrmEditing> window;
};

}  // namespace orva::editor::ui::test
