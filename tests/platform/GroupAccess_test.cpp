// The access list built for the four standard groups, checked on its own:
// Wine keeps key lists (read back in the registry tests) but not file lists.
#include "platform/GroupAccess.h"
#include "tests/support/PlatformTestUtil.h"

#include <gtest/gtest.h>
#include <sddl.h>

namespace {

// Everyone with read and execute: the kind of entry a file already has.
struct BaseList {
    BaseList()
    {
        ConvertStringSidToSidA("S-1-1-0", &everyone);
        InitializeAcl(acl, sizeof(buffer), ACL_REVISION);
        AddAccessAllowedAce(acl, ACL_REVISION, 0x1200A9, everyone);
    }
    ~BaseList() { LocalFree(everyone); }
    PSID everyone = nullptr;
    alignas(DWORD) BYTE buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
};

TEST(GroupAccessList, ReplaceLeavesExactlyTheFourGroupsInOrder)
{
    BaseList base;
    PACL list = nullptr;
    ASSERT_TRUE(BuildGroupAccessList(GENERIC_READ | GENERIC_WRITE | DELETE, true, base.acl, TRUSTEE_MASK_ALL, &list));
    std::vector<qvtest::AceInfo> aces = qvtest::ListAces(list);
    LocalFree(list);
    ASSERT_EQ(aces.size(), 4u);
    const char* order[] = {"S-1-5-32-544", "S-1-5-18", "S-1-5-4", "S-1-5-32-545"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(aces[i].sid, order[i]);
        EXPECT_EQ(aces[i].mask, 0xC0010000u);
        EXPECT_EQ(aces[i].flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    }
}

TEST(GroupAccessList, MergeKeepsTheEntriesThatWereThere)
{
    BaseList base;
    PACL list = nullptr;
    ASSERT_TRUE(BuildGroupAccessList(FILE_ALL_ACCESS, false, base.acl, TRUSTEE_MASK_ALL, &list));
    std::vector<qvtest::AceInfo> aces = qvtest::ListAces(list);
    LocalFree(list);
    EXPECT_EQ(aces.size(), 5u);
    const qvtest::AceInfo* everyone = qvtest::FindAce(aces, "S-1-1-0");
    ASSERT_NE(everyone, nullptr);
    EXPECT_EQ(everyone->mask, 0x1200A9u);
    for (const char* sid : {"S-1-5-32-544", "S-1-5-18", "S-1-5-4", "S-1-5-32-545"}) {
        const qvtest::AceInfo* ace = qvtest::FindAce(aces, sid);
        ASSERT_NE(ace, nullptr) << sid;
        EXPECT_EQ(ace->mask, static_cast<DWORD>(FILE_ALL_ACCESS)) << sid;
    }

    ASSERT_TRUE(BuildGroupAccessList(KEY_READ, false, nullptr, TRUSTEE_MASK_INTERACTIVE, &list));
    aces = qvtest::ListAces(list);
    LocalFree(list);
    ASSERT_EQ(aces.size(), 1u);
    EXPECT_EQ(aces[0].sid, "S-1-5-4");

    EXPECT_FALSE(BuildGroupAccessList(KEY_READ, false, base.acl, 0x10, &list)); // no group bit
    EXPECT_EQ(list, nullptr);
    EXPECT_FALSE(BuildGroupAccessList(KEY_READ, false, base.acl, TRUSTEE_MASK_ALL, nullptr));
}

} // namespace
