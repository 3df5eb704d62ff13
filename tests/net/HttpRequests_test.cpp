// DownloadToFile and RequestText against the loopback server: body and length
// rules, progress calls, early close, missing or unreadable length, servers
// that stall or trickle, the query string and the text conversion.
#include "net/HttpClient.h"

#include "tests/net/NetTest.h"
#include "tests/net/ServerJson.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

namespace {

using qvtest::RecordedRequest;
using qvtest::ServerBehaviour;

// What the progress callback saw; the callback is a plain function.
std::vector<std::pair<uint32_t, uint32_t>> g_progress;
CHttpClient* g_closeFromCallback = nullptr;

void RecordProgress(uint32_t expected, uint32_t received)
{
    g_progress.emplace_back(expected, received);
}

void CloseOnFirstProgress(uint32_t expected, uint32_t received)
{
    g_progress.emplace_back(expected, received);
    if (g_closeFromCallback)
        g_closeFromCallback->Close();
}

// Bytes that differ from position to position, so misplaced chunks show.
std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    return bytes;
}

class DownloadTest : public NetTest {
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        g_progress.clear();
        g_closeFromCallback = nullptr;
        client_.SetProgressCallback(RecordProgress);
        local_ = scratch_.File("download.bin");
    }

    bool Download(const char* path, bool requireLength = true)
    {
        return client_.DownloadToFile(Host(), path, Port(), local_.c_str(), code_, requireLength);
    }

    CHttpClient client_;
    std::string local_;
    uint32_t code_ = 12345;
};

TEST_F(DownloadTest, KnownLengthBodyArrivesWholeWithProgressUpToTheTotal)
{
    const std::string body = Pattern(3 * 4096 + 1000);
    ServeFile("known.bin", body);
    ASSERT_TRUE(Download("known.bin"));
    EXPECT_EQ(code_, body.size());
    EXPECT_TRUE(FileText(local_) == body);

    ASSERT_GE(g_progress.size(), 2u);
    uint32_t last = 0;
    for (const auto& call : g_progress) {
        EXPECT_EQ(call.first, body.size());
        EXPECT_GE(call.second, last);
        last = call.second;
    }
    // The closing empty read reports the final total as well.
    EXPECT_EQ(g_progress.back().second, body.size());
    EXPECT_EQ(g_progress[g_progress.size() - 2].second, body.size());
    std::cout << "[ progress ] " << g_progress.size() << " calls, last (" << g_progress.back().first << ", "
              << g_progress.back().second << ")\n";
}

TEST_F(DownloadTest, ZeroLengthBodyGivesAnEmptyFileAndNoProgressCall)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/empty.bin").Body("")));
    // A file already there is truncated, not appended to.
    ASSERT_TRUE(qvtest::WriteText(local_, "old content"));
    ASSERT_TRUE(Download("/empty.bin"));
    EXPECT_EQ(code_, 0u);
    ASSERT_TRUE(qvtest::FileExists(local_));
    EXPECT_EQ(FileText(local_), "");
    EXPECT_TRUE(g_progress.empty());
    RecordedRequest r = OnlyRequest();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.Header("Content-Type"), "text/plain");
}

TEST_F(DownloadTest, EarlyCloseFailsWithTheAnnouncedLengthAndKeepsWhatArrived)
{
    const std::string body = Pattern(6000);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/cut.bin").Body(body).Announce(10000)));
    EXPECT_FALSE(Download("/cut.bin"));
    EXPECT_EQ(code_, 10000u);
    EXPECT_TRUE(FileText(local_) == body);
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.back(), std::make_pair(10000u, 6000u));
    std::cout << "[ early    ] 6000 of 10000 bytes then close: result code " << code_ << "\n";
}

TEST_F(DownloadTest, MissingLengthFailsBeforeAnyFileIsOpenedWhenRequired)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/nolength.bin").Body("until close").NoLength()));
    EXPECT_FALSE(Download("/nolength.bin", true));
    EXPECT_EQ(code_, static_cast<uint32_t>(ERROR_HTTP_HEADER_NOT_FOUND));
    EXPECT_FALSE(qvtest::FileExists(local_));
    std::cout << "[ nolength ] require-length on: result code " << code_ << ", file created: "
              << (qvtest::FileExists(local_) ? "yes" : "no") << "\n";

    // Without the requirement the body runs until the server closes.
    ASSERT_TRUE(Download("/nolength.bin", false));
    EXPECT_EQ(code_, 0u);
    EXPECT_EQ(FileText(local_), "until close");
    EXPECT_TRUE(g_progress.empty()) << "no progress without a known length";
}

TEST_F(DownloadTest, SlowChunksStillMakeOneWholeFile)
{
    const std::string body = Pattern(20000);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/slow.bin").Body(body).Chunks(1500, 20)));
    ASSERT_TRUE(Download("/slow.bin"));
    EXPECT_EQ(code_, body.size());
    EXPECT_TRUE(FileText(local_) == body);
}

TEST_F(DownloadTest, CloseDuringTheTransferEndsItAtTheNextChunk)
{
    const std::string body = Pattern(64 * 1024);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/stop.bin").Body(body).Chunks(4096, 30)));
    g_closeFromCallback = &client_;
    client_.SetProgressCallback(CloseOnFirstProgress);
    EXPECT_FALSE(Download("/stop.bin"));
    EXPECT_EQ(code_, body.size());
    EXPECT_EQ(g_progress.size(), 1u);
    // The chunk in hand is written; nothing after it.
    std::string kept = FileText(local_);
    EXPECT_EQ(kept.size(), g_progress[0].second);
    EXPECT_TRUE(kept == body.substr(0, kept.size()));
}

TEST_F(DownloadTest, ProgressPointerThatIsNotCodeIsIgnored)
{
    client_.SetProgressCallback(reinterpret_cast<ProgressCallback>(static_cast<uintptr_t>(0x10)));
    ServeFile("known.bin", "abc");
    EXPECT_TRUE(Download("/known.bin"));
    EXPECT_EQ(FileText(local_), "abc");
}

TEST_F(DownloadTest, LocalFileThatCannotBeCreatedFailsWithTheAnnouncedLength)
{
    ServeFile("known.bin", "abc");
    local_ = scratch_.File("no-such-folder\\file.bin");
    EXPECT_FALSE(Download("/known.bin"));
    EXPECT_EQ(code_, 3u);
}

TEST_F(DownloadTest, ReadToFileNeedsAnOpenRequestAndAWritableFile)
{
    FILE* file = fopen(local_.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(client_.ReadToFile(file, 0)) << "no request open";
    fclose(file);

    ServeFile("known.bin", Pattern(5000));
    ASSERT_TRUE(client_.OpenRequest(Host(), "/known.bin", Port(), 1));
    ASSERT_TRUE(client_.AddRequestHeaders());
    ASSERT_TRUE(client_.SendRequest());
    EXPECT_FALSE(client_.ReadToFile(nullptr, 5000));
    // A stream that refuses writes must not pass for a complete download.
    FILE* readOnly = fopen(local_.c_str(), "rb");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(client_.ReadToFile(readOnly, 5000));
    fclose(readOnly);
    client_.Close();
}

// The caller's size (a patch record's) must be the announced one: anything
// else fails before a file is opened; the right size downloads.
TEST_F(DownloadTest, AnnouncedLengthOtherThanTheExpectedSizeFailsBeforeAnyFile)
{
    const std::string body = Pattern(5000);
    ServeFile("sized.bin", body);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/unsized.bin").Body(body).NoLength()));
    for (const char* path : {"sized.bin", "unsized.bin"}) {
        uint32_t code = 0;
        EXPECT_FALSE(client_.DownloadToFile(Host(), path, Port(), local_.c_str(), code, true, 4999)) << path;
        EXPECT_FALSE(client_.DownloadToFile(Host(), path, Port(), local_.c_str(), code, false, 5001)) << path;
        EXPECT_FALSE(qvtest::FileExists(local_)) << path;
    }
    EXPECT_TRUE(client_.DownloadToFile(Host(), "sized.bin", Port(), local_.c_str(), code_, true, 5000));
    EXPECT_TRUE(FileText(local_) == body);
}

TEST_F(DownloadTest, UnreadableLengthFailsLikeAMissingOneAndWritesNoFile)
{
    // Each value is present but is no count of bytes a 32-bit download can hold.
    for (const char* length : {"abc", "-5", "5000000000", "4294967296", "12abc", "+4"}) {
        ASSERT_TRUE(server_.Behave(
            ServerBehaviour("/badlength.bin").Body("body").NoLength().Header("Content-Length", length)));
        EXPECT_FALSE(Download("/badlength.bin", true)) << length;
        EXPECT_EQ(code_, static_cast<uint32_t>(ERROR_HTTP_INVALID_HEADER)) << length;
        EXPECT_FALSE(qvtest::FileExists(local_)) << length;
    }
    // Leading zeros are still a readable length.
    ASSERT_TRUE(
        server_.Behave(ServerBehaviour("/padded.bin").Body("body").NoLength().Header("Content-Length", "0004")));
    ASSERT_TRUE(Download("/padded.bin", true));
    EXPECT_EQ(code_, 4u);
}

// The shortened receive time-out of the stall tests, and the most a failing
// call may take with it: generous, the figures are printed.
const uint32_t kTestTimeoutMs = 1000;
const DWORD kStallBoundMs = 15000;

class StallTest : public NetTest {};

TEST_F(StallTest, SilentServerMidBodyStopAndTrickleEachEndInAFailure)
{
    EXPECT_LE(CHttpClient::kReceiveTimeoutMs, 60000u);
    // The server holds each connection for 30 s; a trickle of 120 bytes, one
    // every 250 ms (quicker than any single receive time-out), takes 30 s.
    ASSERT_TRUE(qvtest::PostBehaviourJson(
        Port(), "[{\"path\":\"/silent\",\"silent\":true,\"hold_ms\":30000},"
                "{\"path\":\"/stopped\",\"body\":\"" + std::string(9000, 's') +
                    "\",\"stop_after\":5000,\"hold_ms\":30000},"
                "{\"path\":\"/drip\",\"body\":\"" + std::string(120, 'd') + "\",\"chunk\":1,\"delay_ms\":250}]"));
    for (const std::string path : {"/silent", "/stopped", "/drip"}) {
        CHttpClient client;
        client.SetReceiveTimeout(kTestTimeoutMs);
        std::string local = scratch_.File(path.substr(1));
        uint32_t code = 0;
        DWORD start = GetTickCount();
        bool downloaded = client.DownloadToFile(Host(), path.c_str(), Port(), local.c_str(), code, true);
        DWORD downloadMs = GetTickCount() - start;
        std::string text = "left over";
        uint32_t textCode = 0;
        start = GetTickCount();
        bool answered = client.RequestText(Host(), path.c_str(), Port(), HttpParameters(), text, textCode);
        DWORD requestMs = GetTickCount() - start;
        // Whatever arrived may stay on disk, but the call never claims it whole.
        EXPECT_FALSE(downloaded) << path;
        EXPECT_FALSE(answered) << path;
        EXPECT_LT(downloadMs, kStallBoundMs) << path;
        EXPECT_LT(requestMs, kStallBoundMs) << path;
        EXPECT_NE(code, 0u) << path;
        EXPECT_EQ(text, "") << path;
        // A trickle never lets one receive time out: the pace rule ends it.
        if (path == "/drip") {
            EXPECT_EQ(textCode, static_cast<uint32_t>(ERROR_INTERNET_TIMEOUT));
        }
        size_t kept = qvtest::FileExists(local) ? FileText(local).size() : 0;
        std::cout << "[ stalled  ] " << path << ": DownloadToFile " << (downloaded ? "succeeded" : "failed")
                  << " after " << downloadMs << " ms (result code " << code << ", " << kept
                  << " bytes on disk); RequestText " << (answered ? "succeeded" : "failed") << " after "
                  << requestMs << " ms (result code " << textCode << ")\n";
    }
}

// A text answer that keeps the pace (2 KB every 400 ms) but would take 8 s:
// the text request ends at twice the receive time-out.
TEST_F(StallTest, TextRequestEndsAtItsDeadlineHoweverWellTheBodyKeepsPace)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/paced").Body(std::string(40 * 1024, 'p')).Chunks(2048, 400)));
    CHttpClient client;
    client.SetReceiveTimeout(kTestTimeoutMs);
    std::string text = "left over";
    uint32_t code = 0;
    DWORD start = GetTickCount();
    EXPECT_FALSE(client.RequestText(Host(), "/paced", Port(), HttpParameters(), text, code));
    DWORD elapsed = GetTickCount() - start;
    std::cout << "[ deadline ] 40 KB at 2 KB per 400 ms: failed after " << elapsed << " ms (result code " << code
              << ")\n";
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(text, "");
    EXPECT_LT(elapsed, 2 * kTestTimeoutMs + 2000);
}

TEST_F(StallTest, SlowBodyThatKeepsPaceArrivesWhole)
{
    // 2048 bytes every 200 ms: the body takes about twice the shortened
    // time-out, but no wait comes near it.
    const std::string body = Pattern(20000);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/steady.bin").Body(body).Chunks(2048, 200)));
    CHttpClient client;
    client.SetReceiveTimeout(kTestTimeoutMs);
    uint32_t code = 0;
    DWORD start = GetTickCount();
    ASSERT_TRUE(client.DownloadToFile(Host(), "/steady.bin", Port(), scratch_.File("steady").c_str(), code, true));
    std::cout << "[ steady   ] " << body.size() << " bytes in " << GetTickCount() - start << " ms\n";
    EXPECT_TRUE(FileText(scratch_.File("steady")) == body);
    // 0 restores the default time-out, under which a short trickle completes.
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/drip").Body(std::string(12, 'd')).Chunks(1, 250)));
    client.SetReceiveTimeout(0);
    std::string text;
    ASSERT_TRUE(client.RequestText(Host(), "/drip", Port(), HttpParameters(), text, code));
}

class RequestTextTest : public NetTest {
protected:
    bool Request(const char* path, const HttpParameters& parameters)
    {
        return client_.RequestText(Host(), path, Port(), parameters, text_, code_);
    }

    CHttpClient client_;
    std::string text_ = "left over";
    uint32_t code_ = 12345;
};

TEST_F(RequestTextTest, ParametersArePercentEncodedIntoTheQueryOfABodylessPost)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/news").Body("answer")));
    ASSERT_TRUE(Request("/news", {{"a b", "x&y"}, {"kept", "/:@\\-._"}, {"n", "1"}}));
    EXPECT_EQ(text_, "answer");
    EXPECT_EQ(code_, 6u);
    RecordedRequest r = OnlyRequest();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.bodyLength, 0u);
    EXPECT_EQ(r.Header("Content-Type"), "text/plain");
    // The client hands WinINet "/news?a%20b=x%26y&kept=/:@\\-._&n=1". Wine's
    // HttpOpenRequest canonicalises the object name and sends the backslash
    // as "/", so either form shows it went out unencoded.
    std::string sent = r.target;
    EXPECT_EQ(sent.find("%5C"), std::string::npos);
    std::replace(sent.begin(), sent.end(), '\\', '/');
    EXPECT_EQ(sent, "/news?a%20b=x%26y&kept=/:@/-._&n=1");
    std::cout << "[ query    ] sent " << r.method << " " << r.target << " (body " << r.bodyLength << " bytes)\n";
}

TEST_F(RequestTextTest, PathWithAQueryJoinsTheParametersWithAmpersand)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/news").Body("")));
    ASSERT_TRUE(Request("news?id=7", {{"v", "1"}}));
    EXPECT_EQ(OnlyRequest().target, "/news?id=7&v=1");
}

TEST_F(RequestTextTest, EmptyListSendsThePathAlone)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/news").Body("")));
    ASSERT_TRUE(Request("/news", {}));
    ASSERT_TRUE(Request("/news?id=7", {}));
    std::vector<RecordedRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/news");
    EXPECT_EQ(requests[1].target, "/news?id=7");
    EXPECT_EQ(text_, "");
    EXPECT_EQ(code_, 0u);
}

TEST_F(RequestTextTest, EmptyNamesAndValuesGoOutEmptyAndHighBytesAreEncoded)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/news").Body("")));
    // "\xC7\xD1" is a Korean syllable in code page 949.
    ASSERT_TRUE(Request("/news", {{"", "v"}, {"n", ""}, {"k", "\xC7\xD1"}}));
    EXPECT_EQ(OnlyRequest().target, "/news?=v&n=&k=%C7%D1");
}

TEST_F(RequestTextTest, AnswerIsCutAtItsFirstZeroByte)
{
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/nul").Body(std::string("abc\0def", 7))));
    ASSERT_TRUE(Request("/nul", {}));
    EXPECT_EQ(text_, "abc");
    EXPECT_EQ(code_, 3u);
    std::cout << "[ nul      ] body \"abc\\0def\" -> text \"" << text_ << "\", result code " << code_ << "\n";
}

TEST_F(RequestTextTest, Utf8AnswerArrivesInTheSystemCodePage)
{
    // "한글 OK" in UTF-8; code page 949 writes the two syllables as C7D1 B1DB.
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/korean").Body("\xED\x95\x9C\xEA\xB8\x80 OK")));
    ASSERT_TRUE(Request("/korean", {}));
    EXPECT_EQ(GetACP(), 949u);
    EXPECT_EQ(text_, "\xC7\xD1\xB1\xDB OK");
    EXPECT_EQ(code_, 7u);
}

// A text request brings at most 64 KB: one byte more fails, with or without
// an announced length, and returns nothing.
TEST_F(RequestTextTest, AnswerLongerThan64KilobytesFailsWithNothingReturned)
{
    const std::string most(CHttpClient::kMaxTextBytes, 'n');
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/most").Body(most).NoLength()));
    ASSERT_TRUE(Request("/most", {}));
    EXPECT_EQ(text_.size(), most.size());
    for (bool announced : {false, true}) {
        ServerBehaviour behaviour("/longer");
        behaviour.Body(most + "n");
        if (!announced)
            behaviour.NoLength();
        ASSERT_TRUE(server_.Behave(behaviour));
        text_ = "left over";
        EXPECT_FALSE(Request("/longer", {})) << announced;
        EXPECT_EQ(code_, static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER)) << announced;
        EXPECT_EQ(text_, "") << announced;
    }
}

TEST_F(RequestTextTest, LongAnswerIsReadWhole)
{
    std::string printable(50000, 'a');
    for (size_t i = 0; i < printable.size(); ++i)
        printable[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    ASSERT_TRUE(server_.Behave(ServerBehaviour("/long").Body(printable).Chunks(3000, 5)));
    ASSERT_TRUE(Request("/long", {}));
    EXPECT_EQ(code_, printable.size());
    EXPECT_TRUE(text_ == printable);
}

} // namespace
