#include "tests/support/TestServer.h"

#include "tests/support/TestSupport.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvtest {

namespace {

// Closes the socket on every path.
class SocketHolder {
public:
    explicit SocketHolder(SOCKET s) : s_(s) {}
    ~SocketHolder() { if (s_ != INVALID_SOCKET) closesocket(s_); }
    SOCKET get() const { return s_; }
private:
    SOCKET s_;
};

bool StartWinsock()
{
    static bool started = false;
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return started;
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Name part of a header line "Name: value".
std::string HeaderName(const std::string& line)
{
    size_t colon = line.find(':');
    return colon == std::string::npos ? line : line.substr(0, colon);
}

// JSON string; bytes of 0x80 and above travel as \u00XX (Latin-1) and come back
// as the same bytes on the wire.
std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    char pair[3];
    for (unsigned char c : bytes) {
        snprintf(pair, sizeof(pair), "%02X", c);
        out += pair;
    }
    return out;
}

} // namespace

std::string RecordedRequest::Header(const std::string& name, bool* found) const
{
    int at = HeaderIndex(name);
    if (found)
        *found = at >= 0;
    if (at < 0)
        return "";
    const std::string& line = headers[at];
    size_t value = line.find(':') + 1;
    while (value < line.size() && line[value] == ' ')
        ++value;
    return line.substr(value);
}

int RecordedRequest::HeaderIndex(const std::string& name) const
{
    for (size_t i = 0; i < headers.size(); ++i)
        if (SameName(HeaderName(headers[i]), name))
            return static_cast<int>(i);
    return -1;
}

CTestServer::CTestServer(const std::string& fixture)
{
    std::string statePath = BinaryPath("qv-servers/" + fixture + ".server");
    FILE* f = fopen(statePath.c_str(), "rb");
    if (!f)
        return;
    char port[32] = {0}, root[1024] = {0};
    bool read = fgets(port, sizeof(port), f) && fgets(root, sizeof(root), f);
    fclose(f);
    if (!read)
        return;
    root[strcspn(root, "\r\n")] = '\0';
    root_ = NativePath(root);
    port_ = static_cast<unsigned short>(strtoul(port, nullptr, 10));
}

std::string CTestServer::RootFile(const std::string& relative) const
{
    std::string path = root_ + "\\";
    for (char c : relative)
        path += c == '/' ? '\\' : c;
    return path;
}

bool CTestServer::Reset()
{
    std::string body;
    return Exchange("POST", "/_qv/reset", "", body);
}

bool CTestServer::Behave(const ServerBehaviour& b)
{
    std::string json = "{\"path\":" + JsonText(b.path) + ",\"status\":" + std::to_string(b.status);
    if (b.hasBody)
        json += ",\"body_hex\":\"" + Hex(b.body) + "\"";
    bool number = !b.length.empty() && b.length.find_first_not_of("0123456789") == std::string::npos;
    json += ",\"length\":" + (number ? b.length : JsonText(b.length));
    if (b.chunk > 0)
        json += ",\"chunk\":" + std::to_string(b.chunk);
    if (b.delayMs > 0)
        json += ",\"delay_ms\":" + std::to_string(b.delayMs);
    if (b.hangUp)
        json += ",\"silent\":true,\"hold_ms\":0";
    json += ",\"headers\":[";
    for (size_t i = 0; i < b.headers.size(); ++i)
        json += (i ? ",[" : "[") + JsonText(b.headers[i].first) + "," + JsonText(b.headers[i].second) + "]";
    json += "]}";
    std::string answer;
    return Exchange("POST", "/_qv/behave", json, answer);
}

bool CTestServer::Log(std::vector<RecordedRequest>& requests)
{
    requests.clear();
    std::string text;
    if (!Exchange("GET", "/_qv/log?format=text", "", text))
        return false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, 8, "REQUEST ") == 0) {
            RecordedRequest r;
            size_t blank = line.find(' ', 8);
            r.method = line.substr(8, blank - 8);
            r.target = blank == std::string::npos ? "" : line.substr(blank + 1);
            requests.push_back(r);
        } else if (!requests.empty() && line.compare(0, 2, "H ") == 0) {
            requests.back().headers.push_back(line.substr(2));
        } else if (!requests.empty() && line.compare(0, 5, "BODY ") == 0) {
            requests.back().bodyLength = strtoul(line.c_str() + 5, nullptr, 10);
        }
    }
    return true;
}

bool CTestServer::Exchange(const std::string& method, const std::string& target,
                           const std::string& content, std::string& body)
{
    body.clear();
    if (!Ready() || !StartWinsock())
        return false;
    SocketHolder s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s.get() == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        return false;
    std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " +
                          std::to_string(content.size()) + "\r\n\r\n" + content;
    for (size_t sent = 0; sent < request.size();) {
        int n = send(s.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += n;
    }
    std::string response;
    char buffer[4096];
    int n;
    while ((n = recv(s.get(), buffer, sizeof(buffer), 0)) > 0)
        response.append(buffer, n);
    size_t headEnd = response.find("\r\n\r\n");
    if (headEnd == std::string::npos || response.compare(0, 5, "HTTP/") != 0)
        return false;
    body = response.substr(headEnd + 4);
    size_t blank = response.find(' ');
    return blank != std::string::npos && atoi(response.c_str() + blank + 1) == 200;
}

} // namespace qvtest
