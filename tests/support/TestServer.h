// Steers the loopback test server (qv_http_server.py) from a Windows test
// program: where it listens, what it serves, what it was asked.
//
// Control requests go over a plain Winsock connection, never through WinINet,
// so the client under test is not used to check itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qvtest {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;               // raw path with query, as sent
    std::vector<std::string> headers; // every header line, in order
    unsigned long bodyLength = 0;

    // Value of the first header with this name (case ignored), "" if none;
    // found is set when the header was there.
    std::string Header(const std::string& name, bool* found = nullptr) const;
    // Position of the first header line with this name, -1 if none.
    int HeaderIndex(const std::string& name) const;
};

// How the server answers one path (see qv_http_server.py for the meaning).
struct ServerBehaviour {
    std::string path;
    int status = 200;
    bool hasBody = false;
    std::string body;        // any bytes, NUL included
    std::string length = "auto"; // "auto", "none" or a number
    std::vector<std::pair<std::string, std::string>> headers;
    int chunk = 0;           // 0 = server default
    int delayMs = 0;
    bool hangUp = false;     // read the request, close without an answer

    ServerBehaviour() = default;
    explicit ServerBehaviour(const std::string& p) : path(p) {}
    ServerBehaviour& Status(int code) { status = code; return *this; }
    ServerBehaviour& Body(const std::string& bytes) { hasBody = true; body = bytes; return *this; }
    ServerBehaviour& NoLength() { length = "none"; return *this; }
    ServerBehaviour& Announce(unsigned long n) { length = std::to_string(n); return *this; }
    ServerBehaviour& Chunks(int bytes, int pauseMs) { chunk = bytes; delayMs = pauseMs; return *this; }
    ServerBehaviour& HangUp() { hangUp = true; return *this; }
    ServerBehaviour& Header(const std::string& name, const std::string& value)
    {
        headers.emplace_back(name, value);
        return *this;
    }
};

class CTestServer {
public:
    // Reads QV_BINARY_DIR/qv-servers/<fixture>.server written by the fixture.
    explicit CTestServer(const std::string& fixture);

    // True when the state file was read; the other calls fail otherwise.
    bool Ready() const { return port_ != 0; }
    unsigned short Port() const { return port_; }
    // Document root as a Windows path (Z:\...), and a file under it ("a/b").
    const std::string& Root() const { return root_; }
    std::string RootFile(const std::string& relative) const;

    // Empties the record and forgets all behaviours.
    bool Reset();
    bool Behave(const ServerBehaviour& behaviour);
    // The record since the last Reset; false when the server did not answer.
    bool Log(std::vector<RecordedRequest>& requests);

private:
    // One HTTP/1.0 exchange; body receives the response body.
    bool Exchange(const std::string& method, const std::string& target, const std::string& content,
                  std::string& body);

    unsigned short port_ = 0;
    std::string root_;
};

} // namespace qvtest
