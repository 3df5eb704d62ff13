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
// What is sent: a host, path or header pair with a control byte (below 0x20,
// or 0x7F) is never sent (the request fails with ERROR_INTERNET_INVALID_URL, a
// pair line is dropped); bytes of 0x80 and above and blanks in the path go out
// as "%XX".
//
// Redirects (301, 302, 303, 307, 308 with a Location) are followed by the
// client itself, at most kMaxRedirects times, and only to a path from the root
// or an absolute plain "http://" address; 303, and 301 or 302 after a POST, go
// on as a GET, with the same header pairs. A redirect that is not followed
// ends the request with its status.
//
// Waiting is bounded: connecting and sending time out after 10 s each, a
// single receive after the receive time-out, and a body must bring at least
// kPaceBytes within each receive time-out, so a server that answers nothing,
// stops mid-body or trickles a byte now and then fails the request within
// about twice the receive time-out. The status line and headers are read
// inside WinINet, where only each single receive is bounded.
//
// Result codes of the request operations: 0 before the request; on success the
// Content-Length of a download or the length of the returned text; on an HTTP
// failure the status code; on a transport failure GetLastError() at that
// point (ERROR_INTERNET_TIMEOUT for a body that does not keep pace), except
// that a download whose Content-Length is known keeps it. LastFailure says
// which kind of failure it was, whatever the result code holds.
//
// An answer with a Content-Encoding (other than "identity") fails as not a
// release: the client asks for no encoding, so such a body is not the file
// as it was published.
#pragma once

#include "platform/SystemHandles.h"
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

// What made the last request operation fail.
enum HttpFailure {
    HTTP_FAILURE_NONE,        // it succeeded (or none ran yet)
    // The server was not reached or the connection broke: refused, timed
    // out, reset, name not resolved, no host, a body cut short or stalled.
    // Only this kind is worth asking another server.
    HTTP_FAILURE_TRANSPORT,
    HTTP_FAILURE_STATUS,      // an answer outside 200..299 other than 407
    // An answer of 200..299 that is not a file as published: no, unreadable
    // or unexpected length, compressed without being asked, a body longer
    // than announced, a text longer than kMaxTextBytes.
    HTTP_FAILURE_NOT_RELEASE,
    HTTP_FAILURE_PROXY_AUTH,  // 407: the proxy wants a sign-in or refused the one given
    // The local side: the file could not be made or written, memory ran
    // out, or Close ended the transfer.
    HTTP_FAILURE_LOCAL
};

// Sees each answer once its status is read, with the request handle (for
// HttpQueryInfo) and the object name asked for; qvcheck looks at the headers.
typedef void (*AnswerObserver)(void* request, const char* objectName);

class CHttpClient {
public:
    // Receive time-out of the WinINet handles and the pace window of a body.
    static constexpr uint32_t kReceiveTimeoutMs = 30000;
    // Bytes a body must bring within each receive time-out.
    static constexpr uint32_t kPaceBytes = 4096;
    // Redirects followed for one request operation.
    static constexpr uint32_t kMaxRedirects = 5;
    // The most body a text request reads; a longer answer fails.
    static constexpr uint32_t kMaxTextBytes = 65536;

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
    // Shortens the receive time-out (and pace window) of the requests opened
    // from now on; 0, or a value above kReceiveTimeoutMs, restores the default.
    void SetReceiveTimeout(uint32_t milliseconds);
    // None by default.
    void SetAnswerObserver(AnswerObserver observer) { observer_ = observer; }
    // What made the last DownloadToFile or RequestText fail (NONE after a success).
    HttpFailure LastFailure() const { return failure_; }
    // The system error of the last failed step (ERROR_INTERNET_TIMEOUT,
    // ERROR_INTERNET_CANNOT_CONNECT ...), also where the result code keeps a
    // Content-Length; unchanged by an answer outside 200..299.
    uint32_t LastError() const { return error_; }

    // GET (useGet non-zero) or POST of path ("/" added when missing; a query is
    // kept; high bytes and blanks encoded) on host:port. True when all three
    // handles are open; false for a null or empty host, a null path, a control
    // byte in either (ERROR_INTERNET_INVALID_URL), or a refused WinINet call
    // (nothing is left open then).
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
    // makes an answer without a readable Content-Length (missing, or not a
    // decimal count below 4 GB: ERROR_HTTP_INVALID_HEADER) a failure, before
    // any file is opened; without it such a length counts as none.
    // expectedSize, when not 0, is the size the caller knows the file has (a
    // patch record's): an announced length that differs fails the same way,
    // before any file is opened, and so does a body without a length. A body
    // that runs past the announced length (or past expectedSize) stops there
    // and fails (ERROR_INVALID_DATA). True when the whole announced body (or,
    // without a length, the whole body) was written. No file is created for a
    // status outside 200..299; a failed transfer may leave the bytes that
    // arrived.
    bool DownloadToFile(const char* host, const char* path, uint16_t port, const char* localPath,
                        uint32_t& resultCode, bool requireLength, uint32_t expectedSize = 0);
    // POST path with the parameters percent-encoded in the query and no body;
    // text receives the answer up to its first zero byte, converted from UTF-8
    // to the system code page (the raw bytes when that gives nothing). An
    // answer longer than kMaxTextBytes fails (ERROR_INSUFFICIENT_BUFFER) with
    // nothing returned, and the whole request, from connecting to the body's
    // end, must be done within twice the receive time-out
    // (ERROR_INTERNET_TIMEOUT); only a server that drips its status line and
    // headers is bounded by each single receive alone, inside WinINet.
    bool RequestText(const char* host, const char* path, uint16_t port, const HttpParameters& parameters,
                     std::string& text, uint32_t& resultCode);

    // Reads the open request's body into file in chunks of up to 4096 bytes,
    // as they arrive. expected is the announced length, 0 for none. False when
    // no request is open, file is null, a read or a write fails, the body does
    // not keep pace, Close ended the transfer, or the byte count differs from a
    // non-zero expected (a body running past it stops at once).
    bool ReadToFile(FILE* file, uint32_t expected);
    // Appends the open request's body to buffer, growing it by each chunk.
    // False when no request is open, a read fails, the body does not keep
    // pace, the buffer cannot grow, the body passes limit bytes (0: no limit;
    // ERROR_INSUFFICIENT_BUFFER), the deadline of a text request passes or
    // Close ended the transfer.
    bool ReadToMemory(CByteBuffer& buffer, uint32_t limit = 0);

private:
    // Records the kind of failure, then fails as a request step does: a
    // result code still 0 takes error.
    bool FailAs(HttpFailure failure, uint32_t& resultCode, unsigned long error);
    // Reads and drops the body of the current answer; always true.
    bool DiscardBody();
    // Opens, sends and judges one request, following redirects.
    bool StartRequest(const char* host, const char* objectName, uint16_t port, int useGet, uint32_t& resultCode);
    // Opens, sends (with these pairs) and reads the status of one request.
    bool SendOnce(const std::string& host, const std::string& objectName, uint16_t port, int useGet,
                  const std::vector<HttpHeaderPair>& pairs, uint32_t& status);
    // AddRequestHeaders with these pairs; the queue is left as it is.
    bool AddHeaderLines(const std::vector<HttpHeaderPair>& pairs);
    // Starts the pace window of a body.
    void BeginPace();
    // Reads what has arrived of the body, at most size bytes, waiting for at
    // least one (got 0 at its end). False when a read fails or the body has
    // not kept pace (ERROR_INTERNET_TIMEOUT).
    bool ReadAvailable(char* buffer, uint32_t size, uint32_t& got);
    std::string UserAgent();
    // Request options shared by the three handles (see HttpClient.cpp).
    void SetCommonOptions(void* handle, bool requestHandle);
    // The receive time-out of the handles: the configured one, half of it for
    // a text request (see WaitFitsDeadline).
    uint32_t ReceiveWaitMs() const;
    // A text request starts no wait that could end after its deadline (the
    // receive time-out of an open request cannot be shortened in every
    // WinINet): false with ERROR_INTERNET_TIMEOUT then; always true otherwise.
    bool WaitFitsDeadline() const;

    CInternetHandle internet_;
    CInternetHandle connection_;
    CInternetHandle request_;
    volatile int32_t open_ = 0;
    ProgressCallback progress_ = nullptr;
    AnswerObserver observer_ = nullptr;
    HttpFailure failure_ = HTTP_FAILURE_NONE;
    uint32_t error_ = 0;
    CMachineInfo machineInfo_;
    std::vector<HttpHeaderPair> pendingHeaders_;
    std::string agentName_;
    std::string agentSuffix_;
    uint32_t receiveTimeoutMs_ = kReceiveTimeoutMs;
    // Start (tick count) and bytes so far of the current pace window.
    uint32_t paceStart_ = 0;
    uint32_t paceBytes_ = 0;
    // The end (tick count) of the running text request; deadlineSet_ 0: none.
    uint32_t deadline_ = 0;
    int32_t deadlineSet_ = 0;
};
