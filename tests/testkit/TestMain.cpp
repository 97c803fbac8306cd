// The main of every test executable: isolated user folders, then the
// application object the code under test expects, then GoogleTest.

#include "tests/testkit/TestEnvironment.h"

#include <gtest/gtest.h>

#ifdef SORRELBY_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    sorrelby::testkit::isolateUserFolders();
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("Vemo"));
    TestApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
