#pragma once
// Helpers shared by the model's tests: files, and small configurations built through the
// editor's own operations.

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ScriptedUi.h"
#include "editor/EditorModel.h"

namespace orva::editor::test {

inline std::filesystem::path sourceDir()
{
    const char* dir = std::getenv("ORVA_SOURCE_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path(ORVA_TEST_SOURCE_DIR);
}

inline std::filesystem::path dataFile(const std::string& name)
{
    return sourceDir() / "editor" / "model" / "tests" / "data" / name;
}

inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A directory of its own for one test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ =
            std::filesystem::temp_directory_path() / ("kalder-" + std::string(info->test_suite_name()) + "-" +
                                                      info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string written(EditorModel& model)
{
    std::ostringstream out;
    EXPECT_TRUE(model.writeXml(out));
    return out.str();
}

inline ItemForm itemForm(std::string name, std::string type, int byte, int block, int bit = 0,
                         int elements = 0, std::string comment = {}, std::string access = "READWRITE")
{
    ItemForm form;
    form.name = std::move(name);
    EditorModel::changeDataType(form, type);
    form.address = std::to_string(byte);
    form.block = std::to_string(block);
    form.bit = std::to_string(bit);
    form.elements = std::to_string(elements);
    form.comment = std::move(comment);
    form.accessRight = std::move(access);
    return form;
}

// Adds a PLC with the kind's default fields and the given name.
inline void addPlc(EditorModel& model, const std::string& name)
{
    PlcForm form = model.newPlcForm();
    form.name = name;
    ASSERT_TRUE(model.applyPlcForm("", form, false).done);
}

inline void addBranch(EditorModel& model, const std::string& parent, const std::string& name)
{
    ASSERT_TRUE(model.addBranch(parent, name).done);
}

inline void addItem(EditorModel& model, const std::string& parent, const std::string& name,
                    const std::string& type = "signed 16 bit", int byte = 0, int block = 1)
{
    ASSERT_TRUE(model.AddItemToColl(parent, itemForm(name, type, byte, block), false).done);
}

// The model's fixtures: an editor model driven by a scripted user interface.
class ModelTest : public ::testing::Test {
protected:
    // A new configuration of the kind with PLC "P" and its branch "P.B".
    void newPlcWithBranch(ServerKind kind, const std::string& path)
    {
        model.newConfiguration(kind, path);
        addPlc(model, "P");
        addBranch(model, "P", "B");
    }

    ScriptedUi ui;
    EditorModel model{ui};
};

}  // namespace orva::editor::test
