// Update engine set-up: server choice, machine key, identity headers, the
// configuration file fetch and the work folder.
#include "update/UpdateEngine.h"

#include "integration/ProductSettings.h"
#include "platform/RegistryAccess.h"
#include "tests/engine/EngineTestUtil.h"
#include "tests/platform/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

namespace {

using enginetest::ServedFolder;

time_t g_fixedTime = 0;
time_t FixedClock() { return g_fixedTime; }

// The clock value whose random choice picks entry `wanted` of `count` entries.
time_t ClockChoosing(size_t wanted, size_t count)
{
    CUpdateEngine engine;
    engine.SetClock(FixedClock);
    std::deque<ServerEntry> entries;
    for (size_t i = 0; i < count; ++i)
        entries.push_back({std::to_string(i), "", 80});
    for (g_fixedTime = 1000;; ++g_fixedTime) {
        engine.ChooseServer(entries);
        if (engine.Host() == std::to_string(wanted))
            return g_fixedTime;
    }
}

TEST(ServerChoice, HostListSplitsAtEverySemicolonKeepingEmptyPieces)
{
    std::deque<ServerEntry> entries;
    CUpdateEngine::SplitHostList("a;b;", "/p", 81, entries);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].host, "a");
    EXPECT_EQ(entries[1].host, "b");
    EXPECT_EQ(entries[2].host, "");
    EXPECT_EQ(entries[2].remoteBasePath, "/p");
    EXPECT_EQ(entries[2].port, 81);

    entries.clear();
    CUpdateEngine::SplitHostList("a;;b", "/p", 80, entries);
    EXPECT_EQ(entries.size(), 3u);
    entries.clear();
    CUpdateEngine::SplitHostList("", "/p", 80, entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].host, "");
}

TEST(ServerChoice, TwoHostsAreChosenAboutEquallyAcrossRuns)
{
    CUpdateEngine engine;
    engine.SetClock(FixedClock);
    std::deque<ServerEntry> entries;
    CUpdateEngine::SplitHostList("primary;secondary", "/p", 80, entries);
    std::map<std::string, int> counts;
    for (g_fixedTime = 1165000000; g_fixedTime < 1165004000; ++g_fixedTime) {
        ASSERT_TRUE(engine.ChooseServer(entries));
        ++counts[engine.Host()];
    }
    EXPECT_EQ(counts.size(), 2u);
    printf("4000 draws: primary %d, secondary %d\n", counts["primary"], counts["secondary"]);
    EXPECT_GT(counts["primary"], 1800);
    EXPECT_GT(counts["secondary"], 1800);

    std::deque<ServerEntry> none;
    EXPECT_FALSE(engine.ChooseServer(none));
    EXPECT_EQ(engine.Host(), "");
    EXPECT_EQ(engine.Port(), 80);
}

class EngineServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ready());
        ASSERT_TRUE(server.Reset());
        engine.Reset();
    }
    std::string Hosts(const char* suffix = "") const { return std::string("127.0.0.1") + suffix; }

    qvtest::CTestServer server{"engine_server"};
    qvtest::ScratchDir base;
    CUpdateEngine engine;
};

TEST_F(EngineServerTest, ConfigFileArrivesInTheWorkFolder)
{
    ServedFolder remote(server, "config-ok");
    ASSERT_TRUE(qvtest::WriteText(remote.File("QVConfig.dat"), "config bytes"));
    EXPECT_EQ(engine.FetchConfigFile(Hosts().c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), 0);
    EXPECT_EQ(engine.WorkFolder(), base.path() + "\\QVTmp");
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(qvtest::ReadBytes(base.File("QVTmp\\QVConfig.dat"), bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "config bytes");
    engine.RemoveWorkFolder();
    EXPECT_FALSE(qvtest::DirExists(base.File("QVTmp")));
}

TEST_F(EngineServerTest, MissingConfigFileFailsAndRemovesTheWorkFolder)
{
    ServedFolder remote(server, "config-missing");
    EXPECT_EQ(engine.FetchConfigFile(Hosts().c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), UPD_RESULT_FAIL);
    EXPECT_FALSE(qvtest::DirExists(base.File("QVTmp")));
}

TEST_F(EngineServerTest, EmptyHostAtTheEndOfTheListFails)
{
    ServedFolder remote(server, "config-empty-host");
    ASSERT_TRUE(qvtest::WriteText(remote.File("QVConfig.dat"), "x"));
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {}));
    std::string hosts = Hosts(";127.0.0.1;"); // three entries, the last one empty
    engine.SetClock(FixedClock);
    g_fixedTime = ClockChoosing(2, 3);
    EXPECT_EQ(engine.FetchConfigFile(hosts.c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), UPD_RESULT_FAIL);
    EXPECT_EQ(engine.Host(), "");
    EXPECT_EQ(engine.CheckForUpdates(hosts.c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), UPD_RESULT_NO_LIST);

    g_fixedTime = ClockChoosing(0, 3); // the same list reaches the server from a real host
    EXPECT_EQ(engine.FetchConfigFile(hosts.c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), 0);
}

TEST_F(EngineServerTest, ProductIdentityGoesOutWithTheFirstRequest)
{
    ServedFolder remote(server, "identity");
    ASSERT_TRUE(qvtest::WriteText(remote.File("QVConfig.dat"), "x"));
    ConfigRecord record;
    record.SetProgramVersion("v5.0.0.9");
    g_productSettings.SetConfig(record);

    engine.SetProductId("KorvaneFree");
    engine.Reset();
    std::string key;
    ASSERT_TRUE(engine.EnsureMachineKey(key));
    ASSERT_EQ(engine.FetchConfigFile(Hosts().c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), 0);
    ASSERT_EQ(engine.FetchConfigFile(Hosts().c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), 0);

    std::vector<qvtest::RecordedRequest> requests;
    ASSERT_TRUE(server.Log(requests));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, remote.RemotePath() + "/QVConfig.dat");
    EXPECT_EQ(requests[0].Header("User-Agent"), "KorvaneFree-" + key);
    EXPECT_EQ(requests[0].Header("VPVER"), "0");
    EXPECT_EQ(requests[0].Header("VCVER"), "0");
    EXPECT_EQ(requests[0].Header("PROGVER"), "v5.0.0.9");
    bool found = false;
    requests[0].Header("MAC", &found);
    EXPECT_TRUE(found);
    EXPECT_LT(requests[0].HeaderIndex("MAC"), requests[0].HeaderIndex("PROGVER"));
    // The identity pairs are queued once per Reset.
    requests[1].Header("PROGVER", &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(requests[1].Header("User-Agent"), "KorvaneFree-" + key);

    // Without release keys (above) no signature file is asked for; with one,
    // it is asked for right after the manifest, and a manifest without it
    // does not pass.
    static const uint8_t kSomeKey[1][ED25519_PUBLIC_KEY_BYTES] = {{0x01}};
    engine.SetReleaseKeys(kSomeKey, 1);
    EXPECT_EQ(engine.FetchConfigFile(Hosts().c_str(), remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str()), UPD_RESULT_FAIL);
    engine.SetReleaseKeys(nullptr, 0);
    EXPECT_EQ(engine.LastSignatureResult(), RELEASE_SIGNATURE_MISSING);
    ASSERT_TRUE(server.Log(requests));
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].target, remote.RemotePath() + "/QVConfig.dat");
    EXPECT_EQ(requests[3].target, remote.RemotePath() + "/QVConfig.dat.sig");

    engine.SetProductId("");
    g_productSettings.SetConfig(ConfigRecord());
}

TEST(MachineKey, CreatedOnceAsThirtyTwoHexDigitsAndReused)
{
    CRegistryAccess registry;
    ASSERT_TRUE(registry.SetRootByName("HCR"));
    const char* path = "CLSID\\{69DCE9C8-CEDD-49bb-88D6-F4101845BA35}";
    registry.DeleteValue(path, "unq");

    CUpdateEngine engine;
    std::string first;
    ASSERT_TRUE(engine.EnsureMachineKey(first));
    ASSERT_EQ(first.size(), 32u);
    for (char c : first)
        EXPECT_TRUE(isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << first;
    std::string stored;
    ASSERT_TRUE(registry.ReadString(path, "unq", stored));
    EXPECT_EQ(stored, first);

    CUpdateEngine other;
    std::string second;
    ASSERT_TRUE(other.EnsureMachineKey(second));
    EXPECT_EQ(second, first);

    // A key nobody may read is repaired for the administrators only and
    // still gives the same identity.
    const std::string original = qvtest::KeySddl(HKEY_CLASSES_ROOT, path);
    ASSERT_TRUE(qvtest::SetKeySddl(HKEY_CLASSES_ROOT, path, "D:P(A;;RCWD;;;BA)"));
    std::string guarded;
    EXPECT_TRUE(other.EnsureMachineKey(guarded));
    const std::string repaired = qvtest::KeySddl(HKEY_CLASSES_ROOT, path);
    qvtest::SetKeySddl(HKEY_CLASSES_ROOT, path, original.c_str());
    EXPECT_EQ(guarded, first);
    EXPECT_EQ(repaired.compare(0, 3, "D:P"), 0) << repaired;
    EXPECT_EQ(repaired.find(";;;IU)"), std::string::npos) << repaired;
    EXPECT_EQ(repaired.find(";;;BU)"), std::string::npos) << repaired;

    // A key made at another time differs.
    std::string fresh;
    g_fixedTime = 1165000000;
    other.SetClock(FixedClock);
    ASSERT_TRUE(other.CreateMachineKey(fresh));
    EXPECT_NE(fresh, first);
}

TEST(WorkFolder, DeleteTreeEmptiesTheFolderAndOnlyRecursiveTakesSubFolders)
{
    qvtest::ScratchDir dir;
    CreateDirectoryA(dir.File("a").c_str(), nullptr);
    CreateDirectoryA(dir.File("a\\b").c_str(), nullptr);
    qvtest::WriteText(dir.File("a\\b\\f"), "x");
    qvtest::WriteText(dir.File("g"), "x");
    CUpdateEngine::DeleteTree(dir.path().c_str(), false);
    EXPECT_FALSE(qvtest::FileExists(dir.File("g")));
    EXPECT_TRUE(qvtest::FileExists(dir.File("a\\b\\f")));
    CUpdateEngine::DeleteTree(dir.path().c_str(), true);
    EXPECT_FALSE(qvtest::DirExists(dir.File("a")));
    EXPECT_TRUE(qvtest::DirExists(dir.path()));
}

} // namespace
