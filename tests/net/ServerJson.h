// Behaviours of the loopback server that ServerBehaviour does not carry
// ("silent", "stop_after", "hold_ms", "drip_head"), posted as raw JSON over a
// plain Winsock connection, never through the client under test.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace qvtest {

// Posts json (one behaviour object or a list) to /_qv/behave of the server on
// 127.0.0.1:port; true when the server accepted it.
inline bool PostBehaviourJson(unsigned short port, const std::string& json)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    bool accepted = false;
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string request = "POST /_qv/behave HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " +
                              std::to_string(json.size()) + "\r\n\r\n" + json;
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
            std::string response;
            char buffer[1024];
            int n;
            while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0)
                response.append(buffer, n);
            accepted = response.compare(0, 12, "HTTP/1.1 200") == 0;
        }
        closesocket(s);
    }
    WSACleanup();
    return accepted;
}

} // namespace qvtest
