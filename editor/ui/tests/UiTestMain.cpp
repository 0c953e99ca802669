// One QApplication on the offscreen platform for every test of the editor's windows.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ORVA Automation"));
    QApplication::setApplicationName(QStringLiteral("Kalder"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
