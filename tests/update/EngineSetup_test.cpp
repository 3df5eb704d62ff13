// Update engine set-up: server choice, machine key, identity headers, the
// configuration file fetch and the work folder.
#include "update/UpdateEngine.h"

#include "integration/EngineProduct.h"
#include "integration/ProductSettings.h"
#include "platform/RegistryAccess.h"
#include "tests/update/EngineTestUtil.h"
#include "tests/support/PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <cctype>
#include <map>

namespace {

using enginetest::ServedFolder;

time_t g_fixedTime = 0;
time_t FixedClock() { return g_fixedTime; }

// The seed whose first random choice picks entry `wanted` of `count` entries.
uint32_t SeedChoosing(size_t wanted, size_t count)
{
    CUpdateEngine engine;
    std::deque<ServerEntry> entries;
    for (size_t i = 0; i < count; ++i)
        entries.push_back({std::to_string(i), "", 80});
    for (uint32_t seed = 1;; ++seed) {
        engine.SeedRandom(seed);
        engine.ChooseServer(entries);
        if (engine.Host() == std::to_string(wanted))
            return seed;
    }
}

// Accepts connections on 127.0.0.3 (the kernel completes them: listen's
// backlog) and never answers: a server that hangs.
class SilentHost {
public:
    explicit SilentHost(unsigned short port)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(0x7F000003);
        ready_ = socket_ != INVALID_SOCKET &&
                 bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                 listen(socket_, 8) == 0;
    }
    ~SilentHost()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        WSACleanup();
    }
    bool Ready() const { return ready_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    bool ready_ = false;
};

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

TEST(ServerChoice, TwoHostsAreChosenAboutEquallyAndOthersFollowInRandomOrder)
{
    CUpdateEngine engine;
    std::deque<ServerEntry> entries;
    CUpdateEngine::SplitHostList("primary;secondary", "/p", 80, entries);
    std::map<std::string, int> counts;
    for (int draw = 0; draw < 4000; ++draw) {
        ASSERT_TRUE(engine.ChooseServer(entries));
        ++counts[engine.Host()];
    }
    printf("4000 draws: primary %d, secondary %d\n", counts["primary"], counts["secondary"]);
    EXPECT_GT(counts["primary"], 1800);
    EXPECT_GT(counts["secondary"], 1800);

    // Runs started within the same second no longer draw alike: 40 engines
    // made one after the other (each seeds itself on its first draw).
    counts.clear();
    for (int run = 0; run < 40; ++run) {
        CUpdateEngine fresh;
        ASSERT_TRUE(fresh.ChooseServer(entries));
        ++counts[fresh.Host()];
    }
    EXPECT_EQ(counts.size(), 2u) << "40 fresh runs all drew " << counts.begin()->first;

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
        ResetEngineForProduct(engine);
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

// A host that cannot be reached (an empty name, nothing listening, a server
// that never answers) hands the request to the other hosts of the list; an
// answer, even 404, is final.
TEST_F(EngineServerTest, UnreachableHostsFailOverToTheOthersAndAnAnswerIsFinal)
{
    ServedFolder remote(server, "failover");
    ASSERT_TRUE(qvtest::WriteText(remote.File("QVConfig.dat"), "x"));
    const std::string path = remote.RemotePath();
    std::string hosts = Hosts(";127.0.0.2;"); // the server, a refusing host, an empty name
    for (size_t first = 0; first < 3; ++first) {
        engine.SeedRandom(SeedChoosing(first, 3));
        EXPECT_EQ(engine.FetchConfigFile(hosts.c_str(), path.c_str(), server.Port(), base.path().c_str()), 0)
            << "first pick " << first;
        EXPECT_EQ(engine.Host(), "127.0.0.1");
        EXPECT_EQ(engine.LastFailure(), UPD_FAILURE_NONE);
    }

    SilentHost silent(server.Port());
    ASSERT_TRUE(silent.Ready());
    CUpdateEngine timed;
    timed.Http().SetReceiveTimeout(1000);
    hosts = "127.0.0.3;127.0.0.1";
    timed.SeedRandom(SeedChoosing(0, 2));
    EXPECT_EQ(timed.FetchConfigFile(hosts.c_str(), path.c_str(), server.Port(), base.path().c_str()), 0);
    EXPECT_EQ(timed.Host(), "127.0.0.1");
    // The silent host is not asked again in the same run: this call waits
    // for nobody.
    timed.SeedRandom(SeedChoosing(0, 2));
    const DWORD start = GetTickCount();
    EXPECT_EQ(timed.FetchConfigFile(hosts.c_str(), path.c_str(), server.Port(), base.path().c_str()), 0);
    EXPECT_LT(GetTickCount() - start, 1000u);
    timed.RemoveWorkFolder();

    // Nothing reachable at all: a connection failure.
    hosts = "127.0.0.2;";
    EXPECT_EQ(engine.FetchConfigFile(hosts.c_str(), path.c_str(), server.Port(), base.path().c_str()),
              UPD_RESULT_FAIL);
    EXPECT_EQ(engine.LastFailure(), UPD_FAILURE_CONNECTION);

    // 404 from the first host: the second (the same server) is not asked.
    ASSERT_TRUE(server.Reset());
    hosts = "127.0.0.1;127.0.0.1";
    EXPECT_EQ(engine.CheckForUpdates(hosts.c_str(), path.c_str(), server.Port(), base.path().c_str()),
              UPD_RESULT_NO_LIST);
    EXPECT_EQ(engine.LastFailure(), UPD_FAILURE_NOT_RELEASE);
    std::vector<qvtest::RecordedRequest> requests;
    ASSERT_TRUE(server.Log(requests));
    EXPECT_EQ(requests.size(), 1u);
}

TEST_F(EngineServerTest, ProductIdentityGoesOutWithTheFirstRequest)
{
    ServedFolder remote(server, "identity");
    ASSERT_TRUE(qvtest::WriteText(remote.File("QVConfig.dat"), "x"));
    ConfigRecord record;
    record.SetProgramVersion("v5.0.0.9");
    g_productSettings.SetConfig(record);

    engine.SetProductId("KorvaneFree");
    ResetEngineForProduct(engine);
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
