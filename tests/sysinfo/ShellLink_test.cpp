// Shortcuts made by CreateShortcut, read back through the shell's own link object.
#include "sysinfo/ShellLink.h"

#include "tests/support/TestSupport.h"
#include "tests/sysinfo/LinkReader.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace {

using qvtest::LinkFields;
using qvtest::ReadLinkStrings;
using qvtest::ReadLinkTarget;

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        target = dir.File("QVMain.exe");
        ASSERT_TRUE(qvtest::WriteText(target, "MZ"));
        icon = dir.File("QVIcon.ico");
        ASSERT_TRUE(qvtest::WriteText(icon, "icon"));
    }
    qvtest::ScratchDir dir;
    std::string target, icon;
};

TEST_F(ShellLinkTest, ShortcutCarriesTargetFolderDescriptionIconAndArguments)
{
    std::string lnk = dir.File("Korvane.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "Korvane Free", icon.c_str(), "/tray"));
    ASSERT_TRUE(qvtest::FileExists(lnk));

    EXPECT_STRCASEEQ(ReadLinkTarget(lnk).c_str(), target.c_str());
    LinkFields fields;
    ASSERT_TRUE(ReadLinkStrings(lnk, fields));
    EXPECT_EQ(fields.name, "Korvane Free");
    EXPECT_STRCASEEQ(fields.folder.c_str(), dir.path().c_str());
    EXPECT_TRUE(fields.hasArguments);
    EXPECT_EQ(fields.arguments, "/tray");
    EXPECT_STRCASEEQ(fields.icon.c_str(), icon.c_str());
}

TEST_F(ShellLinkTest, ShortcutWithoutArgumentsHasNone)
{
    std::string lnk = dir.File("NoArgs.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "d", icon.c_str(), nullptr));
    LinkFields fields;
    ASSERT_TRUE(ReadLinkStrings(lnk, fields));
    EXPECT_FALSE(fields.hasArguments);
    EXPECT_STRCASEEQ(fields.folder.c_str(), dir.path().c_str());
}

TEST_F(ShellLinkTest, KoreanShortcutNameInTheSystemCodePage)
{
    // "바로가기.lnk" in code page 949: the file name goes through the ANSI-to-UTF-16 path.
    std::string lnk = dir.File("\xB9\xD9\xB7\xCE\xB0\xA1\xB1\xE2.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "d", icon.c_str(), nullptr));
    EXPECT_TRUE(qvtest::FileExists(lnk));
}

TEST_F(ShellLinkTest, MissingPathsAndUnwritableFolderFail)
{
    EXPECT_FALSE(CreateShortcut(nullptr, dir.File("a.lnk").c_str(), "d", icon.c_str(), nullptr));
    EXPECT_FALSE(CreateShortcut(target.c_str(), nullptr, "d", icon.c_str(), nullptr));
    EXPECT_FALSE(CreateShortcut(target.c_str(), dir.File("no\\such\\folder\\a.lnk").c_str(), "d",
                                icon.c_str(), nullptr));
}

} // namespace
