#include "settings/CompanionSettings.h"
#include "platform/UserFolders.h"
#include "tests/testkit/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace sorrelby;

TEST(CompanionSettings, ReadsTheJavaPreferencesFileAnewOnEveryCall)
{
    EXPECT_EQ(ostrinPrefsFilePath(), userfolders::home() + QStringLiteral("/.java/.userPrefs/Ostrin/prefs.xml"));
    EXPECT_FALSE(getOstrinSavePath());

    ASSERT_TRUE(testkit::writeFile(ostrinPrefsFilePath(),
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                                   "<!DOCTYPE map SYSTEM \"http://java.sun.com/dtd/preferences.dtd\">\n"
                                   "<map MAP_XML_VERSION=\"1.0\">\n"
                                   "  <entry key=\"savepath\" value=\"/home/studio/Ostrin &amp; Co/Capture\"/>\n"
                                   "  <entry key=\"reversescan\" value=\"TRUE\"/>\n"
                                   "  <entry key=\"disablescan\" value=\"yes\"/>\n"
                                   "  <entry key=\"empty\" value=\"\"/>\n"
                                   "</map>\n"));
    EXPECT_EQ(getOstrinSavePath(), QStringLiteral("/home/studio/Ostrin & Co/Capture"));
    EXPECT_EQ(getOstrinObjectForKey(QStringLiteral("reversescan")), QStringLiteral("TRUE"));
    EXPECT_EQ(getOstrinObjectForKey(QStringLiteral("disablescan")), QStringLiteral("yes"));
    EXPECT_EQ(getOstrinObjectForKey(QStringLiteral("empty")), QString());
    EXPECT_FALSE(getOstrinObjectForKey(QStringLiteral("missing")));

    // The companion rewrites its file: the next call sees the change.
    ASSERT_TRUE(testkit::writeFile(ostrinPrefsFilePath(), "<map><entry key=\"savepath\" value=\"/elsewhere\"/></map>"));
    EXPECT_EQ(getOstrinSavePath(), QStringLiteral("/elsewhere"));

    // Not a map, or not XML at all.
    ASSERT_TRUE(testkit::writeFile(ostrinPrefsFilePath(), "<preferences><entry key=\"savepath\" value=\"/x\"/></preferences>"));
    EXPECT_FALSE(getOstrinSavePath());
    ASSERT_TRUE(testkit::writeFile(ostrinPrefsFilePath(), "savepath=/x"));
    EXPECT_FALSE(getOstrinSavePath());
}
