// The program's HTTP transport: one request at a time to an update server
// over WinINet.
//
// A request operation (DownloadToFile, RequestText) runs a whole request:
// OpenRequest, AddRequestHeaders, SendRequest, QueryStatus, reading the body,
// Close. Close always runs at the end, whatever the outcome. Every request
// carries, in this order, "Accept: */*", the queued header pairs as
// "Name:Value", "Cache-Control: no-cache" and "Content-Type: text/plain"; its
// User-Agent is "<agent name>-<agent suffix>", by default "QVClient-" and the
// machine identifier. Only status 200..299 counts as success.
//
// Result codes of the request operations: 0 before the request; on success the
// Content-Length of a download or the length of the returned text; on an HTTP
// failure the status code; on a transport failure GetLastError() at that
// point, except that a download whose Content-Length is known keeps it.
#pragma once

#include "sysinfo/MachineInfo.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

class CByteBuffer;

// A header line queued for the next request. append 0 empties the queue first.
struct HttpHeaderPair {
    std::string name;
    std::string value;
    int32_t append = 1;
};

// (expected total bytes, bytes received so far); called between two reads of
// a download with a known length, on the thread running the request.
typedef void (*ProgressCallback)(uint32_t expected, uint32_t received);

// Ordered (name, value) parameters of a text request, in the system code page.
typedef std::vector<std::pair<std::string, std::string>> HttpParameters;

class CHttpClient {
public:
    CHttpClient();
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // First and second half of the User-Agent; null is ignored, "" restores the default.
    void SetAgentName(const char* name);
    void SetAgentSuffix(const char* suffix);
    // A pointer that does not lead to callable code is stored as null.
    void SetProgressCallback(ProgressCallback callback);
    // Queues a pair for the next request; append 0 drops the pairs queued before.
    void AddHeader(HttpHeaderPair pair);

    // GET (useGet non-zero) or POST of path ("/" added when missing; a query is
    // kept) on host:port. True when all three handles are open; false for a
    // null or empty host, a null path, or a refused WinINet call (nothing is
    // left open then).
    bool OpenRequest(const char* host, const char* path, uint16_t port, int useGet);
    // Adds the request headers and empties the queue; the result is that of
    // the last line (the content type). False when no request is open.
    bool AddRequestHeaders();
    // Sends the open request without a body; false when none is open or sending fails.
    bool SendRequest();
    // Status code of the sent request; false when it cannot be read. A code
    // outside 200..299 still returns true: callers judge it with IsSuccessStatus.
    bool QueryStatus(uint32_t& code);
    static bool IsSuccessStatus(uint32_t code) { return code >= 200 && code <= 299; }
    // Ends the request: clears the open flag, closes request, connection and
    // internet handles in that order.
    void Close();

    // GET path into the file localPath (created or truncated). requireLength
    // makes an answer without Content-Length a failure, before any file is
    // opened. True when the whole announced body (or, without a length, the
    // whole body) was written. No file is created for a status outside 200..299.
    bool DownloadToFile(const char* host, const char* path, uint16_t port, const char* localPath,
                        uint32_t& resultCode, bool requireLength);
    // POST path with the parameters percent-encoded in the query and no body;
    // text receives the answer up to its first zero byte, converted from UTF-8
    // to the system code page (the raw bytes when that gives nothing).
    bool RequestText(const char* host, const char* path, uint16_t port, const HttpParameters& parameters,
                     std::string& text, uint32_t& resultCode);

    // Reads the open request's body into file in 4096-byte chunks. expected is
    // the announced length, 0 for none. False when no request is open, file is
    // null, a read or a write fails, Close ended the transfer, or the byte
    // count differs from a non-zero expected.
    bool ReadToFile(FILE* file, uint32_t expected);
    // Appends the open request's body to buffer, growing it by each chunk.
    // False when no request is open, a read fails, the buffer cannot grow or
    // Close ended the transfer.
    bool ReadToMemory(CByteBuffer& buffer);

private:
    bool StartRequest(const char* host, const char* objectName, uint16_t port, int useGet, uint32_t& resultCode);
    std::string UserAgent();
    // Request options shared by the three handles (see HttpClient.cpp).
    static void SetCommonOptions(void* handle, bool requestHandle);

    void* internet_ = nullptr;
    void* connection_ = nullptr;
    void* request_ = nullptr;
    volatile int32_t open_ = 0;
    ProgressCallback progress_ = nullptr;
    CMachineInfo machineInfo_;
    std::vector<HttpHeaderPair> pendingHeaders_;
    std::string agentName_;
    std::string agentSuffix_;
};
