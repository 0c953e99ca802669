// One QApplication on the offscreen platform for every test of the editor's windows.
#include <unistd.h>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The recent files live in the user's settings; the tests keep theirs apart.
    const std::string settings = "/tmp/kalder-ui-settings-" + std::to_string(::getpid());
    ::setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ORVA Automation"));
    QApplication::setApplicationName(QStringLiteral("Kalder"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(settings);
    return result;
}
