// The main of every test executable: isolated user folders, then the
// application object the code under test expects, then GoogleTest.

#include "settings/Settings.h"
#include "tests/testkit/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#ifdef SORRELBY_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {

// CTest runs each case in a process of its own, but a test program run whole
// must give every case the same start: no settings left by the case before.
class FreshSettingsPerCase : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        sorrelby::Settings &settings = sorrelby::Settings::shared();
        settings.flush();
        QFile::remove(settings.filePath());
        sorrelby::Settings::resetShared();
    }
};

} // namespace

int main(int argc, char **argv)
{
    sorrelby::testkit::isolateUserFolders();
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("Vemo"));
    TestApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettingsPerCase);
    return RUN_ALL_TESTS();
}
