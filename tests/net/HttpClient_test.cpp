// CHttpClient's request form against the loopback server through Wine's
// WinINet: object path and its encoding, refused control bytes, User-Agent,
// queued header pairs, header order, the status rule, redirects and the state
// after failed requests.
#include "core/ByteBuffer.h"
#include "net/HttpClient.h"

#include "tests/net/NetTest.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <iostream>

namespace {

using qvtest::RecordedRequest;
using qvtest::ServerBehaviour;

class HttpClientTest : public NetTest {
protected:
    // One GET of path through a fresh download; true when it succeeded.
    bool Get(CHttpClient& client, const char* path, uint32_t* result = nullptr)
    {
        uint32_t code = 0;
        bool ok = client.DownloadToFile(Host(), path, Port(), scratch_.File("out.bin").c_str(), code, true);
        if (result)
            *result = code;
        return ok;
    }

    void SetUp() override
    {
        NetTest::SetUp();
        ServeFile("plain.txt", "plain body");
    }
};

TEST_F(HttpClientTest, ObjectPathGetsALeadingSlashAndIsOtherwiseSentUnchanged)
{
    CHttpClient client;
    ASSERT_TRUE(Get(client, "plain.txt"));
    ASSERT_TRUE(Get(client, "/plain.txt"));
    ASSERT_TRUE(Get(client, "/plain.txt?a=1&b=two"));
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "/plain.txt");
    EXPECT_EQ(requests[1].target, "/plain.txt");
    EXPECT_EQ(requests[2].target, "/plain.txt?a=1&b=two");
    for (const RecordedRequest& r : requests)
        EXPECT_EQ(r.method, "GET");
    std::cout << "[ sent     ] plain.txt -> " << requests[0].target << ", /plain.txt -> " << requests[1].target
              << ", /plain.txt?a=1&b=two -> " << requests[2].target << "\n";
}

TEST_F(HttpClientTest, UserAgentIsClientNameAndMachineIdentifierByDefault)
{
    CHttpClient client;
    ASSERT_TRUE(Get(client, "/plain.txt"));
    std::string agent = OnlyRequest().Header("User-Agent");
    std::string machineId = CMachineInfo().GetMachineId();
    ASSERT_EQ(machineId.size(), 36u);
    EXPECT_EQ(agent, "QVClient-" + machineId);
    std::cout << "[ agent    ] default: " << agent << "\n";
}

TEST_F(HttpClientTest, UserAgentJoinsTheNameAndSuffixThatWereSet)
{
    CHttpClient client;
    client.SetAgentName("KorvaneFree");
    client.SetAgentSuffix("5.0.2.1");
    ASSERT_TRUE(Get(client, "/plain.txt"));
    // Null is ignored; "" brings the default back.
    client.SetAgentName(nullptr);
    client.SetAgentSuffix(nullptr);
    ASSERT_TRUE(Get(client, "/plain.txt"));
    client.SetAgentName("");
    ASSERT_TRUE(Get(client, "/plain.txt"));
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Header("User-Agent"), "KorvaneFree-5.0.2.1");
    EXPECT_EQ(requests[1].Header("User-Agent"), "KorvaneFree-5.0.2.1");
    EXPECT_EQ(requests[2].Header("User-Agent"), "QVClient-5.0.2.1");
    std::cout << "[ agent    ] both set: " << requests[0].Header("User-Agent") << "\n";
}

TEST_F(HttpClientTest, QueuedPairsGoOutOnceInOrderBetweenAcceptAndCacheControl)
{
    CHttpClient client;
    client.AddHeader({"MAC", "001122334455,00AABBCCDDEE", 1});
    client.AddHeader({"PVer", "5.0.2.1", 1});
    client.AddHeader({"EVer", "2008.01.01", 1});
    ASSERT_TRUE(Get(client, "/plain.txt"));
    ASSERT_TRUE(Get(client, "/plain.txt"));
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);

    const RecordedRequest& first = requests[0];
    int accept = first.HeaderIndex("Accept");
    int mac = first.HeaderIndex("MAC");
    int pver = first.HeaderIndex("PVer");
    int ever = first.HeaderIndex("EVer");
    int cache = first.HeaderIndex("Cache-Control");
    int type = first.HeaderIndex("Content-Type");
    ASSERT_GE(accept, 0);
    EXPECT_LT(accept, mac);
    EXPECT_LT(mac, pver);
    EXPECT_LT(pver, ever);
    EXPECT_LT(ever, cache);
    EXPECT_LT(cache, type);
    EXPECT_EQ(first.Header("MAC"), "001122334455,00AABBCCDDEE");
    EXPECT_EQ(first.Header("PVer"), "5.0.2.1");
    EXPECT_EQ(first.Header("EVer"), "2008.01.01");
    EXPECT_EQ(first.Header("Accept"), "*/*");
    EXPECT_EQ(first.Header("Cache-Control"), "no-cache");
    EXPECT_EQ(first.Header("Content-Type"), "text/plain");

    bool found = true;
    requests[1].Header("MAC", &found);
    EXPECT_FALSE(found) << "queued pairs must not be sent again";
    requests[1].Header("EVer", &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(requests[1].Header("Content-Type"), "text/plain");

    std::cout << "[ headers  ] first request, as received:\n";
    for (const std::string& line : first.headers)
        std::cout << "[          ]   " << line << "\n";
    std::cout << "[ headers  ] second request:\n";
    for (const std::string& line : requests[1].headers)
        std::cout << "[          ]   " << line << "\n";
}

TEST_F(HttpClientTest, PairWithAppendFlagZeroDropsThePairsQueuedBeforeIt)
{
    CHttpClient client;
    client.AddHeader({"Old1", "a", 1});
    client.AddHeader({"Old2", "b", 1});
    client.AddHeader({"New1", "c", 0});
    client.AddHeader({"New2", "d", 1});
    ASSERT_TRUE(Get(client, "/plain.txt"));
    RecordedRequest r = OnlyRequest();
    EXPECT_LT(r.HeaderIndex("Old1"), 0);
    EXPECT_LT(r.HeaderIndex("Old2"), 0);
    EXPECT_EQ(r.Header("New1"), "c");
    EXPECT_EQ(r.Header("New2"), "d");
    EXPECT_LT(r.HeaderIndex("New1"), r.HeaderIndex("New2"));
}

TEST_F(HttpClientTest, PairLinesOf512BytesOrMoreAreNotSent)
{
    // "Name:" + value + "\r\n": 5 + value + 2 bytes.
    CHttpClient client;
    client.AddHeader({"Fits", std::string(511 - 7, 'v'), 1});
    client.AddHeader({"Long", std::string(512 - 7, 'w'), 1});
    client.AddHeader({"After", "x", 1});
    ASSERT_TRUE(Get(client, "/plain.txt"));
    RecordedRequest r = OnlyRequest();
    EXPECT_EQ(r.Header("Fits"), std::string(504, 'v'));
    EXPECT_LT(r.HeaderIndex("Long"), 0);
    EXPECT_EQ(r.Header("After"), "x");
}

TEST_F(HttpClientTest, OnlyStatus200To299Succeeds)
{
    for (int status : {200, 201, 299}) {
        ASSERT_TRUE(server_.Behave(ServerBehaviour("/status").Status(status).Body("body")));
        CHttpClient client;
        std::string local = scratch_.File("ok-" + std::to_string(status) + ".bin");
        uint32_t code = 0;
        EXPECT_TRUE(client.DownloadToFile(Host(), "/status", Port(), local.c_str(), code, true)) << status;
        EXPECT_EQ(code, 4u) << status;
        EXPECT_EQ(FileText(local), "body") << status;
        std::cout << "[ status   ] " << status << ": DownloadToFile succeeds, result code " << code << "\n";
    }
    for (int status : {199, 300, 304, 404, 500}) {
        ASSERT_TRUE(server_.Behave(ServerBehaviour("/status").Status(status).Body("body")));
        CHttpClient client;
        std::string local = scratch_.File("fail-" + std::to_string(status) + ".bin");
        uint32_t code = 0;
        EXPECT_FALSE(client.DownloadToFile(Host(), "/status", Port(), local.c_str(), code, true)) << status;
        EXPECT_EQ(code, static_cast<uint32_t>(status));
        EXPECT_FALSE(qvtest::FileExists(local)) << "no file for status " << status;

        std::string text = "left over";
        EXPECT_FALSE(client.RequestText(Host(), "/status", Port(), HttpParameters(), text, code)) << status;
        EXPECT_EQ(code, static_cast<uint32_t>(status));
        EXPECT_EQ(text, "");
        std::cout << "[ status   ] " << status << ": DownloadToFile and RequestText fail, result code " << code
                  << ", file created: " << (qvtest::FileExists(local) ? "yes" : "no") << "\n";
    }
    // Each status was asked for exactly once per call: nothing retried or followed.
    EXPECT_EQ(Requests().size(), 3u + 5u * 2u);
}

TEST_F(HttpClientTest, RedirectWithALocationIsFollowed)
{
    // The client follows the redirect itself: the caller sees the status of
    // the place the server sent it to.
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/moved").Status(302).Body("").Header("Location", "/plain.txt")));
    CHttpClient client;
    uint32_t code = 0;
    ASSERT_TRUE(Get(client, "/moved", &code));
    EXPECT_EQ(code, 10u);
    EXPECT_EQ(FileText(scratch_.File("out.bin")), "plain body");
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/plain.txt");
}

TEST_F(HttpClientTest, RedirectsToAbsoluteAndRootPathsCarryTheSameRequest)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/a").Status(301).Body("").Header(
        "Location", "http://127.0.0.1:" + std::to_string(Port()) + "/dir/b")));
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/dir/b").Status(307).Body("").Header("Location", "/dir/c.txt#part")));
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/dir/c.txt").Body("third stop")));
    CHttpClient client;
    client.AddHeader({"MAC", "001122334455", 1});
    uint32_t code = 0;
    ASSERT_TRUE(Get(client, "/a", &code));
    EXPECT_EQ(FileText(scratch_.File("out.bin")), "third stop");
    // A POST answered by 302 goes on as a GET.
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/post").Status(302).Body("").Header("Location", "/dir/c.txt")));
    std::string text;
    ASSERT_TRUE(client.RequestText(Host(), "/post", Port(), {{"v", "1"}}, text, code));
    EXPECT_EQ(text, "third stop");
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1].target, "/dir/b");
    EXPECT_EQ(requests[2].target, "/dir/c.txt");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(requests[i].Header("MAC"), "001122334455") << "the pairs go with every step";
    EXPECT_EQ(requests[3].method + " " + requests[3].target, "POST /post?v=1");
    EXPECT_EQ(requests[4].method + " " + requests[4].target, "GET /dir/c.txt");
}

TEST_F(HttpClientTest, RedirectLoopOrRedirectElsewhereThanPlainHttpEndsWithItsStatus)
{
    const std::string port = std::to_string(Port());
    const std::string places[] = {
        "/r",                                       // to itself
        "https://127.0.0.1:" + port + "/plain.txt", // TLS on the plain port
        "ftp://127.0.0.1/plain.txt",
        "/plain\x01.txt",
        "http://127.0.0.1:99999/plain.txt",
    };
    for (const std::string& place : places) {
        ASSERT_TRUE(server_.Reset());
        ASSERT_TRUE(server_.Behave(ServerBehaviour("/r").Status(302).Body("").Header("Location", place)));
        CHttpClient client;
        uint32_t code = 0;
        DWORD start = GetTickCount();
        EXPECT_FALSE(Get(client, "/r", &code)) << place;
        std::string text = "left over";
        EXPECT_FALSE(client.RequestText(Host(), "/r", Port(), HttpParameters(), text, code)) << place;
        DWORD ms = GetTickCount() - start;
        EXPECT_EQ(code, 302u) << place;
        EXPECT_EQ(text, "");
        EXPECT_FALSE(qvtest::FileExists(scratch_.File("out.bin")));
        size_t expected = place == "/r" ? 2 * (1 + CHttpClient::kMaxRedirects) : 2;
        EXPECT_EQ(Requests().size(), expected) << place;
        EXPECT_LT(ms, 15000u) << place;
        std::string shown = place.find('\x01') == std::string::npos ? place : "/plain^A.txt";
        std::cout << "[ redirect ] to " << shown << ": result code " << code << ", " << Requests().size()
                  << " requests in " << ms << " ms\n";
    }
}

TEST_F(HttpClientTest, ControlBytesInHostPathOrPairAreNeverSent)
{
    CHttpClient client;
    uint32_t code = 0;
    std::string local = scratch_.File("injected.bin");
    std::vector<std::string> paths;
    for (int c = 1; c < 0x20; ++c)
        paths.push_back(std::string("/plain") + static_cast<char>(c) + ".txt");
    paths.push_back("/plain\x7F.txt");
    // A remote folder from a patch list, joined with "/" and the file name.
    paths.push_back("/update\r\nX-Injected: yes\r\n/plain.txt");
    for (const std::string& path : paths) {
        EXPECT_FALSE(client.DownloadToFile(Host(), path.c_str(), Port(), local.c_str(), code, true));
        EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INTERNET_INVALID_URL)) << static_cast<int>(path[6]);
        std::string text;
        EXPECT_FALSE(client.RequestText(Host(), path.c_str(), Port(), {{"v", "1"}}, text, code));
        EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INTERNET_INVALID_URL));
    }
    for (const char* host : {"127.0.0.1\r\nX-Injected: yes", "127.0.0.1\t"}) {
        EXPECT_FALSE(client.DownloadToFile(host, "/plain.txt", Port(), local.c_str(), code, true));
        EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INTERNET_INVALID_URL));
    }
    EXPECT_FALSE(qvtest::FileExists(local));
    EXPECT_TRUE(Requests().empty());
    std::cout << "[ control  ] " << paths.size() << " paths and 2 hosts refused, result code " << code << "\n";

    // A pair that would break its line is dropped; the request and the other pairs go out.
    client.AddHeader({"PVer", "5.0.2.1\r\nX-Injected: yes", 1});
    client.AddHeader({"EVer", "2008.01.01", 1});
    ASSERT_TRUE(Get(client, "/plain.txt"));
    RecordedRequest r = OnlyRequest();
    EXPECT_LT(r.HeaderIndex("PVer"), 0);
    EXPECT_LT(r.HeaderIndex("X-Injected"), 0);
    EXPECT_EQ(r.Header("EVer"), "2008.01.01");
}

TEST_F(HttpClientTest, PathBytesAbove0x7FAndBlanksGoOutPercentEncoded)
{
    CHttpClient client;
    // "한글" in code page 949; an escape already in the path is left as it is.
    EXPECT_FALSE(Get(client, "/\xC7\xD1\xB1\xDB/a b%41.txt?q=\xC7\xD1"));
    std::string text;
    uint32_t code = 0;
    client.RequestText(Host(), "/news?k=\xC7\xD1", Port(), {{"k2", "\xC7\xD1"}}, text, code);
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/%C7%D1%B1%DB/a%20b%41.txt?q=%C7%D1");
    EXPECT_EQ(requests[1].target, "/news?k=%C7%D1&k2=%C7%D1");
    std::cout << "[ encoded  ] sent " << requests[0].target << "\n";
}

TEST_F(HttpClientTest, MissingHostOrPathOpensNothing)
{
    CHttpClient client;
    EXPECT_FALSE(client.OpenRequest(nullptr, "/plain.txt", Port(), 1));
    EXPECT_FALSE(client.OpenRequest("", "/plain.txt", Port(), 1));
    EXPECT_FALSE(client.OpenRequest(Host(), nullptr, Port(), 1));
    EXPECT_FALSE(client.AddRequestHeaders()) << "no request may be open";
    uint32_t code = 0;
    std::string local = scratch_.File("none.bin");
    EXPECT_FALSE(client.DownloadToFile("", "/plain.txt", Port(), local.c_str(), code, true));
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(client.DownloadToFile(Host(), "/plain.txt", Port(), nullptr, code, true));
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    std::string text;
    EXPECT_FALSE(client.RequestText(Host(), nullptr, Port(), HttpParameters(), text, code));
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(qvtest::FileExists(local));
    EXPECT_TRUE(Requests().empty());
}

// A port on which nothing listens: bound, then released.
unsigned short UnusedPort()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(s);
    return ntohs(address.sin_port);
}

TEST_F(HttpClientTest, RefusedConnectionReportsTheSystemErrorAndLeavesTheClientClosed)
{
    CHttpClient client;
    uint32_t code = 0;
    std::string local = scratch_.File("refused.bin");
    EXPECT_FALSE(client.DownloadToFile(Host(), "/plain.txt", UnusedPort(), local.c_str(), code, true));
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_FALSE(qvtest::FileExists(local));
    std::cout << "[ refused  ] result code " << code << "\n";
    // Nothing stays open, and the same object serves the next request.
    EXPECT_FALSE(client.AddRequestHeaders());
    CByteBuffer body;
    EXPECT_FALSE(client.ReadToMemory(body));
    EXPECT_TRUE(Get(client, "/plain.txt"));
}

TEST_F(HttpClientTest, ReadToMemoryAppendsTheBodyToWhatTheBufferHolds)
{
    CHttpClient client;
    ASSERT_TRUE(client.OpenRequest(Host(), "plain.txt", Port(), 1));
    ASSERT_TRUE(client.AddRequestHeaders());
    ASSERT_TRUE(client.SendRequest());
    uint32_t status = 0;
    ASSERT_TRUE(client.QueryStatus(status));
    EXPECT_EQ(status, 200u);
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Grow(2));
    buffer.Data()[0] = '>';
    ASSERT_TRUE(client.ReadToMemory(buffer));
    client.Close();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()),
              std::string(">\0plain body", 12));
    EXPECT_FALSE(client.ReadToMemory(buffer)) << "closed";
}

} // namespace
