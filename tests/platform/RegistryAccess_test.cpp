// CRegistryAccess against Wine's registry (NT family): root names, path
// splitting, the value data rules, deletion, enumeration and rights repair.
#include "platform/GroupAccess.h"
#include "platform/RegistryAccess.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/RegistryReadBack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kAdmins[] = "S-1-5-32-544";
const char kSystem[] = "S-1-5-18";
const char kInteractive[] = "S-1-5-4";
const char kUsers[] = "S-1-5-32-545";
const char kEveryone[] = "S-1-1-0";
// A key another program guards: everyone reads, the administrators may only
// read and rewrite its list, and it takes no entries from its parent.
const char kGuardedList[] = "D:P(A;;KR;;;WD)(A;;RCWD;;;BA)";
// The same without the read entry: nobody may list or read the key.
const char kUnreadableList[] = "D:P(A;;RCWD;;;BA)";

// Each test works under HKCU\Software\QVSetupTests\<test name> and removes it.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = std::string("Software\\QVSetupTests\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        qvtest::ForceDeleteTree(HKEY_CURRENT_USER, base_);
        ASSERT_TRUE(reg_.SetRootByName("HCU"));
    }
    void TearDown() override { qvtest::ForceDeleteTree(HKEY_CURRENT_USER, base_); }

    std::string Key(const std::string& sub) const { return base_ + "\\" + sub; }
    void MakeKey(const std::string& sub)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, Key(sub).c_str(), &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Raw read of a stored value: type and bytes.
    bool RawValue(const std::string& sub, const char* name, DWORD& type, std::vector<BYTE>& data)
    {
        return qvtest::ReadRegistryValue(HKEY_CURRENT_USER, Key(sub), name, data, &type);
    }
    // Makes the key (with the value "v") and gives it the list.
    void MakeGuardedKey(const std::string& sub, const char* list = kGuardedList)
    {
        ASSERT_TRUE(reg_.WriteString(Key(sub).c_str(), "v", "kept"));
        ASSERT_TRUE(qvtest::SetKeySddl(HKEY_CURRENT_USER, Key(sub), list));
        ASSERT_FALSE(RawOpen(sub, KEY_SET_VALUE)) << "Wine let a guarded key be written";
    }
    std::string Sddl(const std::string& sub) { return qvtest::KeySddl(HKEY_CURRENT_USER, Key(sub)); }
    bool RawOpen(const std::string& sub, REGSAM access)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Key(sub).c_str(), 0, access, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    CRegistryAccess reg_;
    std::string base_;
};

TEST(RegistryRoot, AcceptsShortAndLongNamesInAnyCaseAndRejectsOthers)
{
    CRegistryAccess reg;
    EXPECT_TRUE(reg.AdjustsRights());
    EXPECT_EQ(reg.Root(), HKEY_LOCAL_MACHINE);

    ASSERT_TRUE(reg.SetRootByName("HCU"));
    EXPECT_TRUE(reg.SetRootByName("hlm"));
    EXPECT_EQ(reg.Root(), HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.SetRootByName("HCU"));
    EXPECT_TRUE(reg.SetRootByName("  HLM  "));
    EXPECT_EQ(reg.Root(), HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.SetRootByName("HCU"));
    EXPECT_TRUE(reg.SetRootByName("Hkey_Local_Machine"));
    EXPECT_EQ(reg.Root(), HKEY_LOCAL_MACHINE);

    ASSERT_TRUE(reg.SetRootByName("HCU"));
    for (const char* rejected : {"HKLM", "HKEY_PERFORMANCE_DATA", "", "\tHLM", "H LM"})
        EXPECT_FALSE(reg.SetRootByName(rejected)) << rejected;
    EXPECT_FALSE(reg.SetRootByName(nullptr));
    EXPECT_EQ(reg.Root(), HKEY_CURRENT_USER);

    const struct { const char* longName; const char* shortName; HKEY root; } roots[] = {
        {"HKEY_CLASSES_ROOT", "HCR", HKEY_CLASSES_ROOT}, {"HKEY_CURRENT_USER", "HCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HLM", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", "HU", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", "HCC", HKEY_CURRENT_CONFIG}};
    for (const auto& r : roots) {
        ASSERT_TRUE(reg.SetRootByName(r.shortName));
        EXPECT_EQ(reg.Root(), r.root);
        EXPECT_EQ(reg.GetRootName(false), r.longName);
        EXPECT_EQ(reg.GetRootName(true), r.shortName);
        ASSERT_TRUE(reg.SetRootByName(r.longName));
        EXPECT_EQ(reg.Root(), r.root);
    }
}

TEST(RegistryLocation, SplitsAtTheFirstBackslashOnly)
{
    std::string root = "old", sub = "old\\key";
    ASSERT_TRUE(SplitRegistryLocation("HCU\\Software\\QVSetupTests", root, sub));
    EXPECT_EQ(root, "HCU");
    EXPECT_EQ(sub, "Software\\QVSetupTests");
    ASSERT_TRUE(SplitRegistryLocation("HLM\\SOFTWARE\\Dravik\\", root, sub));
    EXPECT_EQ(root, "HLM");
    EXPECT_EQ(sub, "SOFTWARE\\Dravik");

    root = "kept", sub = "kept\\too";
    EXPECT_FALSE(SplitRegistryLocation("\\Software\\QVSetupTests", root, sub));
    EXPECT_FALSE(SplitRegistryLocation("HCU", root, sub));
    EXPECT_FALSE(SplitRegistryLocation(nullptr, root, sub));
    EXPECT_EQ(root, "kept");
    EXPECT_EQ(sub, "kept\\too");
}

TEST_F(RegistryTest, DwordAndBinaryValuesAreStoredExactly)
{
    ASSERT_TRUE(reg_.WriteDword(Key("a\\b").c_str(), "Count", 0xDEADBEEF)); // creates both levels
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(RawValue("a\\b", "Count", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(data.size(), 4u);
    DWORD value = 0;
    EXPECT_TRUE(reg_.ReadDword(Key("a\\b").c_str(), "Count", value));
    EXPECT_EQ(value, 0xDEADBEEFu);

    const BYTE bytes[] = {0x00, 0x01, 0x00, 0xFF, 0x00};
    ASSERT_TRUE(reg_.WriteBinary(Key("a").c_str(), "Blob", bytes, sizeof(bytes)));
    ASSERT_TRUE(RawValue("a", "Blob", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, std::vector<BYTE>(bytes, bytes + sizeof(bytes)));

    // ReadDword of a text value: false with the output reset to 0.
    ASSERT_TRUE(reg_.WriteString(Key("a").c_str(), "Text", "12"));
    value = 77;
    EXPECT_FALSE(reg_.ReadDword(Key("a").c_str(), "Text", value));
    EXPECT_EQ(value, 0u);
    value = 77;
    EXPECT_FALSE(reg_.ReadDword(Key("a").c_str(), "Missing", value));
    EXPECT_EQ(value, 0u);
}

TEST_F(RegistryTest, StringValuesFollowTheTypeAndDataRules)
{
    const std::string key = Key("s");
    std::string text = "stale";
    DWORD type = 99;
    ASSERT_TRUE(reg_.WriteDword(key.c_str(), "Number", 5));
    EXPECT_FALSE(reg_.ReadString(key.c_str(), "Number", text, type));
    EXPECT_EQ(text, "");
    EXPECT_EQ(type, 0u);

    // An empty REG_SZ is one NUL byte and reads back as an empty text.
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "Empty", ""));
    std::vector<BYTE> data;
    DWORD rawType = 0;
    ASSERT_TRUE(RawValue("s", "Empty", rawType, data));
    EXPECT_EQ(data, std::vector<BYTE>{0});
    text = "stale";
    EXPECT_TRUE(reg_.ReadString(key.c_str(), "Empty", text, type));
    EXPECT_EQ(text, "");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    // Multi-strings: line feeds become NULs with the closing pair, and back.
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "Multi", "a\nb", REG_MULTI_SZ));
    ASSERT_TRUE(RawValue("s", "Multi", rawType, data));
    EXPECT_EQ(rawType, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(data, (std::vector<BYTE>{'a', 0, 'b', 0, 0}));
    EXPECT_TRUE(reg_.ReadString(key.c_str(), "Multi", text, type));
    EXPECT_EQ(text, "a\nb\n");
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));

    ASSERT_TRUE(reg_.WriteString(key.c_str(), "Expand", "%SystemRoot%\\x", REG_EXPAND_SZ));
    EXPECT_TRUE(reg_.ReadString(key.c_str(), "Expand", text, type));
    EXPECT_EQ(text, "%SystemRoot%\\x"); // not expanded
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

    // Text in the system code page (949) passes through unchanged.
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "", "\xC7\xD1\xB1\xDB")); // default value
    EXPECT_TRUE(reg_.ReadString(key.c_str(), "", text));
    EXPECT_EQ(text, "\xC7\xD1\xB1\xDB");

    EXPECT_FALSE(reg_.WriteString(key.c_str(), "Wrong", "x", REG_DWORD));
    EXPECT_FALSE(reg_.ValueExists(key.c_str(), "Wrong"));
}

TEST_F(RegistryTest, NullArgumentsFailWithoutTouchingTheRegistry)
{
    const std::string key = Key("n");
    DWORD value = 0;
    std::string text;
    std::deque<RegistryItem> items;
    EXPECT_FALSE(reg_.WriteDword(nullptr, "v", 1));
    EXPECT_FALSE(reg_.WriteDword(key.c_str(), nullptr, 1));
    EXPECT_FALSE(reg_.WriteString(key.c_str(), "v", nullptr));
    EXPECT_FALSE(reg_.WriteBinary(key.c_str(), "v", nullptr, 4));
    EXPECT_FALSE(reg_.ReadDword(nullptr, "v", value));
    EXPECT_FALSE(reg_.ReadString(key.c_str(), nullptr, text));
    EXPECT_FALSE(reg_.KeyExists(nullptr));
    EXPECT_FALSE(reg_.ValueExists(key.c_str(), nullptr));
    EXPECT_FALSE(reg_.DeleteValue(nullptr, "v"));
    EXPECT_FALSE(reg_.DeleteKey(nullptr, true));
    EXPECT_FALSE(reg_.EnumSubKeys(nullptr, items, true));
    EXPECT_FALSE(reg_.GrantKeyAccessByPath(nullptr, KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL));
    EXPECT_FALSE(reg_.GrantKeyTreeAccess(nullptr, TRUSTEE_MASK_ALL));
    EXPECT_FALSE(RawOpen("n", KEY_READ));
}

TEST_F(RegistryTest, DeletionIsJudgedByWhatIsLeft)
{
    MakeKey("d\\child");
    ASSERT_TRUE(reg_.WriteString(Key("d").c_str(), "v", "x"));
    EXPECT_TRUE(reg_.DeleteValue(Key("d").c_str(), "v"));
    EXPECT_FALSE(reg_.ValueExists(Key("d").c_str(), "v"));
    EXPECT_TRUE(reg_.DeleteValue(Key("d").c_str(), "never"));
    EXPECT_TRUE(reg_.DeleteValue(Key("missing").c_str(), "v"));
    EXPECT_TRUE(reg_.DeleteKey(Key("missing").c_str(), false));

    EXPECT_FALSE(reg_.DeleteKey(Key("d").c_str(), false)); // has a sub-key
    EXPECT_TRUE(RawOpen("d\\child", KEY_READ));
    EXPECT_TRUE(reg_.DeleteKey(Key("d").c_str(), true));
    EXPECT_FALSE(RawOpen("d", KEY_READ));

    // The root itself is never deleted.
    MakeKey("still");
    EXPECT_FALSE(reg_.DeleteKey("", true));
    EXPECT_FALSE(reg_.DeleteKey("\\", true));
    EXPECT_TRUE(RawOpen("still", KEY_READ));
}

TEST_F(RegistryTest, EnumSubKeysWalksDepthFirstAndCountsEarlierItems)
{
    for (const char* sub : {"e\\A\\A1", "e\\A\\A2", "e\\B\\B1"})
        MakeKey(sub);
    std::deque<RegistryItem> items;
    ASSERT_TRUE(reg_.EnumSubKeys(Key("e").c_str(), items, true));
    std::vector<std::string> paths;
    for (const RegistryItem& item : items) {
        paths.push_back(item.keyPath);
        EXPECT_EQ(item.rootName, "HKEY_CURRENT_USER");
        EXPECT_EQ(item.valueType, 0u);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{Key("e\\A"), Key("e\\A\\A1"), Key("e\\A\\A2"), Key("e\\B"),
                                               Key("e\\B\\B1")}));

    items.clear();
    ASSERT_TRUE(reg_.EnumSubKeys(Key("e").c_str(), items, false));
    EXPECT_EQ(items.size(), 2u);

    std::deque<RegistryItem> none;
    EXPECT_FALSE(reg_.EnumSubKeys(Key("e\\B\\B1").c_str(), none, true));
    std::deque<RegistryItem> earlier(1);
    EXPECT_TRUE(reg_.EnumSubKeys(Key("e\\B\\B1").c_str(), earlier, true));
    EXPECT_EQ(earlier.size(), 1u);
    EXPECT_FALSE(reg_.EnumSubKeys(Key("missing").c_str(), earlier, true));
}

TEST_F(RegistryTest, GrantKeyAccessMergesOrReplacesTheGroupEntries)
{
    MakeKey("g");
    bool present = false;
    const size_t before = qvtest::KeyAces(HKEY_CURRENT_USER, Key("g"), &present).size();
    ASSERT_TRUE(present);
    ASSERT_GT(before, 0u);

    ASSERT_TRUE(reg_.GrantKeyAccessByPath(Key("g").c_str(), KEY_READ, false, TRUSTEE_MASK_ALL));
    std::vector<qvtest::AceInfo> aces = qvtest::KeyAces(HKEY_CURRENT_USER, Key("g"));
    EXPECT_GE(aces.size(), before);
    for (const char* sid : {kAdmins, kSystem, kInteractive, kUsers}) {
        const qvtest::AceInfo* ace = qvtest::FindAce(aces, sid);
        ASSERT_NE(ace, nullptr) << sid;
        EXPECT_EQ(ace->mask & KEY_READ, static_cast<DWORD>(KEY_READ)) << sid;
    }

    ASSERT_TRUE(reg_.GrantKeyAccessByPath(Key("g").c_str(), KEY_ALL_ACCESS, true, TRUSTEE_MASK_ADMINISTRATORS |
                                                                                 TRUSTEE_MASK_USERS));
    aces = qvtest::KeyAces(HKEY_CURRENT_USER, Key("g"));
    ASSERT_EQ(aces.size(), 2u);
    EXPECT_EQ(aces[0].sid, kAdmins);
    EXPECT_EQ(aces[1].sid, kUsers);
    EXPECT_EQ(aces[0].mask, static_cast<DWORD>(KEY_ALL_ACCESS));
    EXPECT_EQ(aces[0].flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);

    EXPECT_FALSE(reg_.GrantKeyAccessByPath(Key("g").c_str(), KEY_ALL_ACCESS, false, 0)); // nobody selected
    EXPECT_FALSE(reg_.GrantKeyAccessByPath(Key("missing").c_str(), KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL));
    EXPECT_FALSE(reg_.GrantKeyAccess(nullptr, KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL));
}

TEST_F(RegistryTest, RefusedKeysAreOpenedUpAndTriedAgain)
{
    ASSERT_TRUE(reg_.WriteString(Key("r").c_str(), "v", "kept"));
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("r")));
    ASSERT_FALSE(RawOpen("r", KEY_READ)); // Wine enforces the empty list
    ASSERT_TRUE(reg_.AddRepairScope("HCU", Key("r").c_str()));

    std::string text;
    EXPECT_TRUE(reg_.ReadString(Key("r").c_str(), "v", text));
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(RawOpen("r", KEY_ALL_ACCESS));
    // The repair lets the administrators in, and nobody else.
    std::vector<qvtest::AceInfo> aces = qvtest::KeyAces(HKEY_CURRENT_USER, Key("r"));
    ASSERT_EQ(aces.size(), 2u);
    EXPECT_EQ(aces[0].sid, kAdmins);
    EXPECT_EQ(aces[1].sid, kSystem);

    // A closed-off sub-key blocks the recursive delete until the tree is opened up.
    MakeKey("t\\open");
    MakeKey("t\\closed\\deep");
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("t\\closed\\deep")));
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("t\\closed")));
    ASSERT_FALSE(RawOpen("t\\closed", KEY_READ));
    for (const char* sub : {"t", "t\\open", "t\\closed", "t\\closed\\deep"})
        ASSERT_TRUE(reg_.AddRepairScope("HCU", Key(sub).c_str())) << sub;
    EXPECT_TRUE(reg_.DeleteKey(Key("t").c_str(), true));
    EXPECT_FALSE(RawOpen("t", KEY_READ));
}

// The product key's update values ("SuccessUpdate", "LastUpdateDate",
// "PCode") must reach a key another program has closed off, as reads do.
TEST_F(RegistryTest, WritesToARefusedKeyOpenItUpAndStore)
{
    const std::string key = Key("w");
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "Old", "kept"));
    auto closeOff = [&]() {
        ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, key));
        // Wine enforces a key's access list: neither a read nor a store gets in.
        ASSERT_FALSE(RawOpen("w", KEY_READ));
        ASSERT_FALSE(RawOpen("w", KEY_SET_VALUE));
    };
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(reg_.AddRepairScope("HCU", key.c_str()));

    closeOff();
    EXPECT_TRUE(reg_.WriteDword(key.c_str(), "SuccessUpdate", 1));
    EXPECT_TRUE(RawValue("w", "SuccessUpdate", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{1, 0, 0, 0}));
    std::vector<qvtest::AceInfo> aces = qvtest::KeyAces(HKEY_CURRENT_USER, key);
    for (const char* sid : {kAdmins, kSystem}) {
        const qvtest::AceInfo* ace = qvtest::FindAce(aces, sid);
        EXPECT_TRUE(ace && ace->mask == KEY_ALL_ACCESS) << sid << " has no full-access entry";
    }
    for (const char* sid : {kInteractive, kUsers, kEveryone})
        EXPECT_EQ(qvtest::FindAce(aces, sid), nullptr) << sid << " was given rights";

    closeOff();
    EXPECT_TRUE(reg_.WriteString(key.c_str(), "LastUpdateDate", "2024-05-01"));
    EXPECT_TRUE(RawValue("w", "LastUpdateDate", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("2024-05-01", 11));

    closeOff();
    const BYTE code[] = {0x51, 0x56, 0x00, 0xFF};
    EXPECT_TRUE(reg_.WriteBinary(key.c_str(), "PCode", code, sizeof(code)));
    EXPECT_TRUE(RawValue("w", "PCode", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, std::vector<BYTE>(code, code + sizeof(code)));

    closeOff();
    EXPECT_TRUE(reg_.DeleteValue(key.c_str(), "Old"));
    EXPECT_FALSE(reg_.ValueExists(key.c_str(), "Old"));
    // Every earlier store is still there.
    EXPECT_TRUE(reg_.ValueExists(key.c_str(), "SuccessUpdate"));
    EXPECT_TRUE(reg_.ValueExists(key.c_str(), "LastUpdateDate"));
    EXPECT_TRUE(reg_.ValueExists(key.c_str(), "PCode"));
}

// What the repair does inside its scope: administrators and the system gain
// full access, every other entry stays as it was, and a list that refuses its
// parent's entries keeps refusing them.
TEST_F(RegistryTest, ARepairedWriteInsideTheScopeAddsOnlyAdministratorsAndSystem)
{
    MakeGuardedKey("p");
    const std::string before = Sddl("p");
    ASSERT_EQ(before.compare(0, 3, "D:P"), 0) << before;
    const std::vector<qvtest::AceInfo> old = qvtest::KeyAces(HKEY_CURRENT_USER, Key("p"));
    // Scope entries compare without regard to case.
    std::string upper = Key("p");
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    ASSERT_TRUE(reg_.AddRepairScope("HKEY_CURRENT_USER", upper.c_str()));

    EXPECT_TRUE(reg_.WriteDword(Key("p").c_str(), "SuccessUpdate", 1));
    DWORD value = 0;
    EXPECT_TRUE(reg_.ReadDword(Key("p").c_str(), "SuccessUpdate", value));
    EXPECT_EQ(value, 1u);
    const std::string after = Sddl("p");
    printf("refused key inside the scope, before the write: %s\n  after: %s\n", before.c_str(), after.c_str());
    EXPECT_EQ(after.compare(0, 3, "D:P"), 0) << after;

    const std::vector<qvtest::AceInfo> aces = qvtest::KeyAces(HKEY_CURRENT_USER, Key("p"));
    std::vector<qvtest::AceInfo> others;
    bool full[2] = {false, false};
    for (const qvtest::AceInfo& ace : aces) {
        if (ace.sid == kAdmins || ace.sid == kSystem)
            full[ace.sid == kSystem] |= ace.mask == KEY_ALL_ACCESS;
        else
            others.push_back(ace);
    }
    EXPECT_TRUE(full[0] && full[1]) << after;
    // Everyone keeps its read entry, and no one else gains one.
    ASSERT_EQ(others.size(), 1u) << after;
    EXPECT_EQ(others[0].sid, kEveryone);
    EXPECT_EQ(others[0].mask, old[0].mask);
    EXPECT_EQ(others[0].flags, old[0].flags);
}

// Outside the scope a refusal is final: every operation fails and no list
// changes by a byte, whether the key is a sibling sharing the scope key's
// name as a prefix, a sub-key of a scope key, or anywhere else.
TEST_F(RegistryTest, ARefusedKeyOutsideTheScopeFailsAndKeepsItsList)
{
    MakeKey("in");
    ASSERT_TRUE(reg_.AddRepairScope("HCU", Key("in").c_str()));
    for (const char* sub : {"out", "in2", "in\\sub"}) {
        SCOPED_TRACE(sub);
        MakeGuardedKey(sub);
        const std::string before = Sddl(sub);
        const std::string key = Key(sub);

        EXPECT_FALSE(reg_.WriteDword(key.c_str(), "SuccessUpdate", 1));
        const std::string afterWrite = Sddl(sub);
        EXPECT_EQ(afterWrite, before);
        if (std::string(sub) == "out")
            printf("refused key outside the scope, before the write: %s\n  after: %s\n", before.c_str(),
                   afterWrite.c_str());
        EXPECT_FALSE(reg_.WriteString(key.c_str(), "v", "changed"));
        EXPECT_FALSE(reg_.DeleteValue(key.c_str(), "v"));
        // (Wine grants DELETE on every key, so a deletion is refused only
        // where a sub-key cannot be listed: see the tree test below.)
        std::string text;
        EXPECT_TRUE(reg_.ReadString(key.c_str(), "v", text)); // everyone may read
        EXPECT_EQ(text, "kept");

        EXPECT_EQ(Sddl(sub), before);
        DWORD type = 0;
        std::vector<BYTE> data;
        EXPECT_FALSE(RawValue(sub, "SuccessUpdate", type, data));
    }

    // A key nobody may read is not taken for a missing one.
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("out")));
    const std::string closed = Sddl("out");
    std::string text;
    EXPECT_FALSE(reg_.KeyExists(Key("out").c_str()));
    EXPECT_FALSE(reg_.ReadString(Key("out").c_str(), "v", text));
    EXPECT_FALSE(reg_.DeleteValue(Key("out").c_str(), "v"));
    EXPECT_FALSE(reg_.DeleteKey(Key("out").c_str(), true));
    EXPECT_EQ(Sddl("out"), closed);

    // The root itself can never be a scope entry.
    EXPECT_FALSE(reg_.AddRepairScope("HCU", ""));
    EXPECT_FALSE(reg_.AddRepairScope("HCU", "\\"));
    EXPECT_FALSE(reg_.AddRepairScope("HKLM", Key("in").c_str()));
    EXPECT_FALSE(reg_.AddRepairScope("HCU", nullptr));
    // The scope holds eight keys at most.
    CRegistryAccess full;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(full.AddRepairScope("HCU", Key("k" + std::to_string(i)).c_str()));
    EXPECT_FALSE(full.AddRepairScope("HCU", Key("k8").c_str()));
}

TEST_F(RegistryTest, DeletingARefusedTreeOutsideTheScopeFailsAndChangesNoList)
{
    MakeKey("dt\\a\\b");
    MakeGuardedKey("dt\\a\\b", kUnreadableList);
    MakeGuardedKey("dt\\a", kUnreadableList);
    const char* const tree[] = {"dt", "dt\\a", "dt\\a\\b"};
    std::vector<std::string> before;
    for (const char* sub : tree)
        before.push_back(Sddl(sub));
    ASSERT_TRUE(reg_.AddRepairScope("HCU", Key("elsewhere").c_str()));

    EXPECT_FALSE(reg_.DeleteKey(Key("dt").c_str(), true));
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(RawOpen(tree[i], READ_CONTROL)) << tree[i] << " is gone";
        EXPECT_EQ(Sddl(tree[i]), before[i]) << tree[i];
    }
}

TEST_F(RegistryTest, GrantKeyTreeAccessReachesEverySubKey)
{
    MakeKey("tree\\a\\b");
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("tree\\a\\b")));
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, Key("tree\\a")));
    EXPECT_TRUE(reg_.GrantKeyTreeAccess(Key("tree").c_str(), TRUSTEE_MASK_ALL));
    EXPECT_TRUE(RawOpen("tree\\a", KEY_ALL_ACCESS));
    EXPECT_TRUE(RawOpen("tree\\a\\b", KEY_ALL_ACCESS));

    EXPECT_FALSE(reg_.GrantKeyTreeAccess(std::string(1025, 'k').c_str(), TRUSTEE_MASK_ALL));
    EXPECT_FALSE(reg_.GrantKeyTreeAccess("", TRUSTEE_MASK_ALL)); // would walk the whole hive
}

} // namespace
