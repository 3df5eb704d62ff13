// Shared set-up of the HTTP client tests: the loopback server of the fixture
// "net_server", emptied before every test, and small helpers around it.
#pragma once

#include "tests/support/TestServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class NetTest : public ::testing::Test {
protected:
    NetTest() : server_("net_server") {}

    void SetUp() override
    {
        ASSERT_TRUE(server_.Ready()) << "no test server state under QV_BINARY_DIR/qv-servers";
        ASSERT_TRUE(server_.Reset());
    }

    // Puts a file with these bytes under the document root.
    void ServeFile(const std::string& relative, const std::string& bytes)
    {
        ASSERT_TRUE(qvtest::WriteBytes(server_.RootFile(relative), bytes.data(), bytes.size()));
    }

    // The requests recorded since SetUp.
    std::vector<qvtest::RecordedRequest> Requests()
    {
        std::vector<qvtest::RecordedRequest> requests;
        EXPECT_TRUE(server_.Log(requests));
        return requests;
    }

    // The only request recorded since SetUp (fails the test otherwise).
    qvtest::RecordedRequest OnlyRequest()
    {
        std::vector<qvtest::RecordedRequest> requests = Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? qvtest::RecordedRequest() : requests.back();
    }

    static std::string FileText(const std::string& path)
    {
        std::vector<unsigned char> bytes;
        if (!qvtest::ReadBytes(path, bytes))
            return "<missing>";
        return std::string(bytes.begin(), bytes.end());
    }

    const char* Host() const { return "127.0.0.1"; }
    unsigned short Port() const { return server_.Port(); }

    qvtest::CTestServer server_;
    qvtest::ScratchDir scratch_;
};
