// News and event links: the request to the news server and the two link files
// it leaves in the prefix's real install folder.
#include "integration/NewsLinks.h"

#include "core/TableFile.h"
#include "integration/ProductSettings.h"
#include "platform/SpecialFolders.h"
#include "sysinfo/MachineInfo.h"
#include "tests/support/TestServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>

namespace {

const char kNewsPath[] = "/TKAS/News/links.asp";

time_t g_fixedTime = 0;
time_t FixedClock() { return g_fixedTime; }

class NewsLinksTest : public ::testing::Test {
protected:
    NewsLinksTest() : server_("newslinks_server") {}

    void SetUp() override
    {
        ASSERT_TRUE(server_.Ready() && server_.Reset());
        g_productSettings.GetConfig(saved_);
        ASSERT_TRUE(g_productSettings.GetInstallFolder(folder_));
        CSpecialFolders::CreateFolderPath(folder_.c_str());
        Clean();
        PointNewsAt("127.0.0.1", server_.Port());
    }
    void TearDown() override
    {
        Clean();
        g_productSettings.SetConfig(saved_);
    }
    void Clean()
    {
        for (const char* name : {kNewsLinkFile, kEventLinkFile}) {
            DeleteFileA(Path(name).c_str());
            RemoveDirectoryA(Path(name).c_str());
        }
    }
    void PointNewsAt(const char* hosts, int port)
    {
        ConfigRecord record = saved_;
        record.SetServer(SERVER_NEWS, {hosts, kNewsPath, port});
        record.SetProgramVersion("v5.0.0.7");
        g_productSettings.SetConfig(record);
    }
    void Answer(const std::string& body, int status = 200)
    {
        ASSERT_TRUE(server_.Behave(qvtest::ServerBehaviour(kNewsPath).Status(status).Body(body)));
    }
    std::string Path(const char* name) const { return folder_ + "\\" + name; }
    std::string Bytes(const char* name) const
    {
        std::vector<unsigned char> bytes;
        return qvtest::ReadBytes(Path(name), bytes) ? std::string(bytes.begin(), bytes.end()) : "<missing>";
    }
    // The one row of a link file, every cell checked to be UTF-8 text.
    std::vector<std::string> Links(const char* name) const
    {
        CTableFile table;
        if (!table.Open(Path(name).c_str(), nullptr, 0))
            return {"<unreadable>"};
        EXPECT_EQ(table.RowCount(), 1u);
        std::vector<std::string> links;
        for (std::string text; table.HasCell(); table.NextCell()) {
            EXPECT_EQ(table.CellKind(), CELL_BYTES);
            EXPECT_TRUE(table.GetText(text));
            links.push_back(text);
        }
        return links;
    }
    std::vector<qvtest::RecordedRequest> Requests()
    {
        std::vector<qvtest::RecordedRequest> requests;
        EXPECT_TRUE(server_.Log(requests));
        return requests;
    }

    qvtest::CTestServer server_;
    ConfigRecord saved_;
    std::string folder_;
    CNewsLinks links_;
};

typedef std::vector<std::string> Texts;

TEST_F(NewsLinksTest, PostsTheIdentityAndStoresEachListInAnswerOrder)
{
    Answer("NEWS|http://news/1\n"
           "  EVENT|x  \n"
           "  EVENT|x\r\n"
           "xNEWS|y\n"
           "no marker\n"
           "  \n"
           "NEWS|\n"
           "NEWS|n EVENT|e|f\n"
           "EVENT|\xEC\x9D\xB4\xEB\xB2\xA4\xED\x8A\xB8\n"); // UTF-8 on the wire
    ASSERT_TRUE(links_.FetchLinks(NEWS_LINKS_STORE));

    std::vector<qvtest::RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    const qvtest::RecordedRequest& sent = requests[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.target, std::string(kNewsPath) + "?DUMMY=0000");
    CMachineInfo machine;
    bool found = false;
    EXPECT_EQ(sent.Header("MAC", &found), machine.GetMacAddress());
    EXPECT_TRUE(found);
    EXPECT_EQ(sent.Header("VPVER"), "0");
    EXPECT_EQ(sent.Header("VCVER"), "0");
    EXPECT_EQ(sent.Header("PROGVER"), "v5.0.0.7");
    EXPECT_LT(sent.HeaderIndex("MAC"), sent.HeaderIndex("VPVER"));
    EXPECT_LT(sent.HeaderIndex("VPVER"), sent.HeaderIndex("VCVER"));
    EXPECT_LT(sent.HeaderIndex("VCVER"), sent.HeaderIndex("PROGVER"));

    EXPECT_EQ(Links(kNewsLinkFile), Texts({"http://news/1", "y", ""}));
    // Code page 949 text read back from UTF-8 cells.
    EXPECT_EQ(Links(kEventLinkFile), Texts({"x", "x\r", "e|f", "\xC0\xCC\xBA\xA5\xC6\xAE"}));
    EXPECT_EQ(Bytes(kNewsLinkFile).find("http://news/1"), std::string::npos) << "stored without the codec";
}

TEST_F(NewsLinksTest, OnlyTheStoreModeWritesAndOnlyListsThatHaveLinks)
{
    ASSERT_TRUE(qvtest::WriteText(Path(kNewsLinkFile), "earlier news"));
    ASSERT_TRUE(qvtest::WriteText(Path(kEventLinkFile), "earlier events"));
    Answer("NEWS|a\nEVENT|b\n");
    for (int mode : {0, 1, 3})
        EXPECT_TRUE(links_.FetchLinks(mode)) << mode;
    EXPECT_EQ(Requests().size(), 3u);
    EXPECT_EQ(Bytes(kNewsLinkFile), "earlier news");
    EXPECT_EQ(Bytes(kEventLinkFile), "earlier events");

    Answer("NEWS|only news\n");
    ASSERT_TRUE(links_.FetchLinks(NEWS_LINKS_STORE));
    EXPECT_EQ(Links(kNewsLinkFile), Texts({"only news"}));
    EXPECT_EQ(Bytes(kEventLinkFile), "earlier events");

    std::string news = Bytes(kNewsLinkFile);
    Answer("no markers at all\n");
    EXPECT_TRUE(links_.FetchLinks(NEWS_LINKS_STORE));
    EXPECT_EQ(Bytes(kNewsLinkFile), news);
}

TEST_F(NewsLinksTest, FailedRequestsAndUnwritableFilesLeaveTheFilesAsTheyWere)
{
    ASSERT_TRUE(qvtest::WriteText(Path(kNewsLinkFile), "earlier news"));
    Answer("NEWS|a\nEVENT|b\n", 404);
    EXPECT_FALSE(links_.FetchLinks(NEWS_LINKS_STORE));
    PointNewsAt("127.0.0.1", 1); // nothing listens there
    EXPECT_FALSE(links_.FetchLinks(NEWS_LINKS_STORE));
    PointNewsAt("", server_.Port());
    EXPECT_FALSE(links_.FetchLinks(NEWS_LINKS_STORE));
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Bytes(kNewsLinkFile), "earlier news");
    EXPECT_FALSE(qvtest::FileExists(Path(kEventLinkFile)));

    // A folder in the event file's place: the news file is still written.
    ASSERT_TRUE(CreateDirectoryA(Path(kEventLinkFile).c_str(), nullptr));
    EXPECT_FALSE(links_.StoreLinks("EVENT|e\nNEWS|n"));
    EXPECT_EQ(Links(kNewsLinkFile), Texts({"n"}));
    EXPECT_TRUE(qvtest::DirExists(Path(kEventLinkFile)));
}

TEST(NewsHostChoice, EveryPieceOfTheListIsPickedByTheClockSeededRuntimeGenerator)
{
    CNewsLinks links;
    links.SetClock(FixedClock);
    std::map<std::string, int> counts;
    std::string host;
    for (g_fixedTime = 1165000000; g_fixedTime < 1165003000; ++g_fixedTime) {
        ASSERT_TRUE(links.ChooseHost("a;b;", host));
        ++counts[host];
    }
    EXPECT_EQ(counts.size(), 3u);
    for (const char* piece : {"a", "b", ""})
        EXPECT_GT(counts[piece], 800) << '"' << piece << '"';

    g_fixedTime = 1165000123;
    ASSERT_TRUE(links.ChooseHost("h0;h1;h2;h3;h4", host));
    srand(static_cast<unsigned>(g_fixedTime));
    EXPECT_EQ(host, "h" + std::to_string(rand() % 5));

    EXPECT_TRUE(links.ChooseHost("", host));
    EXPECT_EQ(host, "");
    EXPECT_FALSE(links.ChooseHost(nullptr, host));
}

} // namespace
