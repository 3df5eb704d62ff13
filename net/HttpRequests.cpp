// The request operations of CHttpClient and the body readers they share.
#include "net/HttpClient.h"

#include "core/ByteBuffer.h"
#include "core/HandleHolder.h"
#include "core/TextConvert.h"
#include "net/ProxySignIn.h"
#include "net/UrlEncode.h"

#include <windows.h>
#include "platform/WinInetApi.h"
#include <share.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const DWORD kChunkSize = 4096;
const DWORD kLengthBufferSize = 64;
const DWORD kLocationBufferSize = 2048;
// Decimal digits of 4294967295, the largest length a download can hold.
const size_t kMaxDecimalDigits = 10;
const uint16_t kDefaultHttpPort = 80;
const uint32_t kProxyAuthenticationRequired = 407;

// Ends the request when an operation returns, whatever the outcome.
class CloseOnExit {
public:
    explicit CloseOnExit(CHttpClient& client) : client_(client) {}
    ~CloseOnExit() { client_.Close(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;
private:
    CHttpClient& client_;
};

// Gives a text request its overall deadline for as long as it runs.
class DeadlineScope {
public:
    DeadlineScope(uint32_t& deadline, int32_t& set, uint32_t span) : set_(set)
    {
        deadline = GetTickCount() + span;
        set_ = 1;
    }
    ~DeadlineScope() { set_ = 0; }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;
private:
    int32_t& set_;
};


// The failure step of a request: a result code still 0 takes the system
// error code noticed at the failure.
bool Fail(uint32_t& resultCode, DWORD error)
{
    if (resultCode == 0)
        resultCode = error;
    return false;
}

// A name or value as it goes into the query: encoded, or the raw text when
// encoding gives nothing (an empty text).
std::string QueryPart(const std::string& text)
{
    std::string encoded;
    return UrlEncode(text.c_str(), encoded) ? encoded : std::string(text.c_str());
}

// "n1=v1&n2=v2..." in list order.
std::string QueryText(const HttpParameters& parameters)
{
    std::string query;
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (i > 0)
            query += '&';
        query += QueryPart(parameters[i].first);
        query += '=';
        query += QueryPart(parameters[i].second);
    }
    return query;
}

std::string ObjectName(const char* path)
{
    return path[0] == '/' ? std::string(path) : std::string("/") + path;
}

// A count in plain decimal (a Content-Length, a port): 1 to 10 digits and
// nothing else, at most 4294967295, the most a download can hold.
bool ParseDecimal(const char* text, uint32_t& value)
{
    size_t digits = strlen(text);
    if (digits == 0 || digits > kMaxDecimalDigits || strspn(text, "0123456789") != digits)
        return false;
    // At most ten digits: the sum fits 64 bits (and no library parser is needed).
    unsigned long long parsed = 0;
    for (size_t i = 0; i < digits; ++i)
        parsed = parsed * 10 + static_cast<unsigned>(text[i] - '0');
    if (parsed > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool IsRedirectStatus(uint32_t status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// True when text begins with "http://", in any mix of cases.
bool StartsWithHttp(const char* text)
{
    const char kHttp[] = "http://";
    for (size_t i = 0; i + 1 < sizeof(kHttp); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kHttp[i])
            return false;
    }
    return true;
}

// Where a Location (changed in place) sends the request next: a path from
// the root on the same server, or an absolute "http://host[:port]/path"; a
// fragment is dropped. False for any other form or scheme, an empty host,
// user information, an unreadable port or a control byte: none is followed.
bool ResolveLocation(char* location, std::string& host, uint16_t& port, std::string& objectName)
{
    location[strcspn(location, "#")] = '\0';
    if (!HasNoControlBytes(location))
        return false;
    if (location[0] == '/') {
        objectName = location;
        return true;
    }
    if (!StartsWithHttp(location))
        return false;
    char* authority = location + sizeof("http://") - 1;
    char* rest = authority + strcspn(authority, "/?");
    std::string path = std::string(*rest == '/' ? "" : "/") + rest;
    *rest = '\0';
    uint32_t number = kDefaultHttpPort;
    char* colon = strchr(authority, ':');
    if (colon) {
        *colon = '\0';
        if (!ParseDecimal(colon + 1, number) || number == 0 || number > 0xFFFF)
            return false;
    }
    if (!*authority || strchr(authority, '@'))
        return false;
    host = authority;
    port = static_cast<uint16_t>(number);
    objectName.swap(path);
    return true;
}

} // namespace

bool CHttpClient::SendOnce(const std::string& host, const std::string& objectName, uint16_t port, int useGet,
                           const std::vector<HttpHeaderPair>& pairs, uint32_t& status)
{
    return OpenRequest(host.c_str(), objectName.c_str(), port, useGet) && AddHeaderLines(pairs) &&
           WaitFitsDeadline() && SendRequest() && QueryStatus(status);
}

bool CHttpClient::DiscardBody()
{
    // The proxy's page, read to its end (at most kMaxTextBytes) so that the
    // request can be sent again on its handle.
    char chunk[4096];
    DWORD got = 0;
    uint32_t total = 0;
    while (total <= kMaxTextBytes && wininet::InternetReadFile(request_.Get(), chunk, sizeof(chunk), &got) && got != 0)
        total += got;
    return true;
}

bool CHttpClient::FailAs(HttpFailure failure, uint32_t& resultCode, DWORD error)
{
    failure_ = failure;
    error_ = error;
    return Fail(resultCode, error);
}

// Opens, sends and judges one request, following up to kMaxRedirects
// redirects; the queued pairs go with each step and are used up. False with
// resultCode and LastFailure set when it fails: the status outside 200..299
// (a redirect not followed included), an encoded answer, or the system error
// of the failing step (a transport failure).
bool CHttpClient::StartRequest(const char* host, const char* objectName, uint16_t port, int useGet,
                               uint32_t& resultCode)
{
    std::vector<HttpHeaderPair> pairs;
    pairs.swap(pendingHeaders_);
    std::string currentHost = host;
    std::string currentObject = objectName;
    for (uint32_t redirects = 0;; ++redirects) {
        uint32_t status = 0;
        if (!SendOnce(currentHost, currentObject, port, useGet, pairs, status))
            return FailAs(HTTP_FAILURE_TRANSPORT, resultCode, GetLastError());
        // No status line at all (Wine reports status 0 for a connection
        // closed before any answer): the server was not really reached.
        if (status == 0)
            return FailAs(HTTP_FAILURE_TRANSPORT, resultCode, ERROR_HTTP_INVALID_SERVER_RESPONSE);
        // A proxy that wants a sign-in: asked for (once per run, unless it
        // refuses), then the same request again.
        while (status == kProxyAuthenticationRequired && DiscardBody() &&
               CProxySignIn::AskAgain(internet_.Get(), request_.Get())) {
            if (!SendRequest() || !QueryStatus(status))
                return FailAs(HTTP_FAILURE_TRANSPORT, resultCode, GetLastError());
        }
        if (status != kProxyAuthenticationRequired)
            CProxySignIn::Answered();
        if (observer_)
            observer_(request_.Get(), currentObject.c_str());
        if (IsSuccessStatus(status)) {
            // No Accept-Encoding goes out: an encoded body is not the file
            // as it was published (its length and digest are another's).
            char encoding[kLengthBufferSize] = {0};
            DWORD size = sizeof(encoding) - 1;
            if (wininet::HttpQueryInfoA(request_.Get(), HTTP_QUERY_CONTENT_ENCODING, encoding, &size, nullptr) &&
                encoding[0] && _stricmp(encoding, "identity") != 0)
                return FailAs(HTTP_FAILURE_NOT_RELEASE, resultCode, ERROR_HTTP_INVALID_HEADER);
            failure_ = HTTP_FAILURE_NONE;
            return true;
        }
        char location[kLocationBufferSize] = {0};
        DWORD size = sizeof(location) - 1;
        if (!IsRedirectStatus(status) || redirects == kMaxRedirects ||
            !wininet::HttpQueryInfoA(request_.Get(), HTTP_QUERY_LOCATION, location, &size, nullptr) ||
            !ResolveLocation(location, currentHost, port, currentObject)) {
            resultCode = status;
            failure_ = status == kProxyAuthenticationRequired ? HTTP_FAILURE_PROXY_AUTH : HTTP_FAILURE_STATUS;
            return false;
        }
        // As browsers do: a POST answered by 301, 302 or 303 goes on as a GET.
        if (status == 301 || status == 302 || status == 303)
            useGet = 1;
        Close();
    }
}

bool CHttpClient::DownloadToFile(const char* host, const char* path, uint16_t port, const char* localPath,
                                 uint32_t& resultCode, bool requireLength, uint32_t expectedSize)
{
    resultCode = 0;
    CloseOnExit closer(*this);
    if (!host || !path || !localPath)
        return FailAs(HTTP_FAILURE_TRANSPORT, resultCode, ERROR_INVALID_PARAMETER);
    try {
        if (!StartRequest(host, ObjectName(path).c_str(), port, 1, resultCode))
            return false;

        // An unreadable length counts as none: it says nothing about the body.
        char length[kLengthBufferSize] = {0};
        DWORD size = sizeof(length) - 1;
        uint32_t announced = 0;
        bool known = false;
        if (!wininet::HttpQueryInfoA(request_.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
            if (requireLength)
                return FailAs(HTTP_FAILURE_NOT_RELEASE, resultCode, GetLastError());
        } else if (ParseDecimal(length, announced)) {
            resultCode = announced;
            known = true;
        } else if (requireLength) {
            return FailAs(HTTP_FAILURE_NOT_RELEASE, resultCode, ERROR_HTTP_INVALID_HEADER);
        }
        // The size the caller knows (a patch record's) must be the one announced.
        if (expectedSize != 0 && (!known || announced != expectedSize))
            return FailAs(HTTP_FAILURE_NOT_RELEASE, resultCode, ERROR_HTTP_INVALID_HEADER);

        // No sharing restriction: others may look at the file while it arrives.
        CFileStreamHolder file(_fsopen(localPath, "w+b", _SH_DENYNO));
        if (!file.Get())
            return FailAs(HTTP_FAILURE_LOCAL, resultCode, GetLastError());
        bool complete = ReadToFile(file.Get(), announced);
        DWORD error = GetLastError();
        // A write that fails only when the stream is flushed is a failed download too.
        if (!file.Close() && complete) {
            complete = false;
            failure_ = HTTP_FAILURE_LOCAL;
            error = GetLastError();
        }
        if (!complete)
            return FailAs(failure_, resultCode, error);
        failure_ = HTTP_FAILURE_NONE;
        return true;
    } catch (const std::bad_alloc&) {
        return FailAs(HTTP_FAILURE_LOCAL, resultCode, ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool CHttpClient::RequestText(const char* host, const char* path, uint16_t port,
                              const HttpParameters& parameters, std::string& text, uint32_t& resultCode)
{
    resultCode = 0;
    text.clear();
    CloseOnExit closer(*this);
    if (!host || !path)
        return FailAs(HTTP_FAILURE_TRANSPORT, resultCode, ERROR_INVALID_PARAMETER);
    // Declared after the closer, so it ends first: Close needs no deadline.
    DeadlineScope deadline(deadline_, deadlineSet_, 2 * receiveTimeoutMs_);
    try {
        std::string objectName = ObjectName(path);
        if (!parameters.empty()) {
            objectName += strchr(path, '?') ? '&' : '?';
            objectName += QueryText(parameters);
        }
        if (!StartRequest(host, objectName.c_str(), port, 0, resultCode))
            return false;

        // A text longer than a text request may bring is not read at all.
        char length[kLengthBufferSize] = {0};
        DWORD size = sizeof(length) - 1;
        uint32_t announced = 0;
        if (wininet::HttpQueryInfoA(request_.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr) &&
            ParseDecimal(length, announced) && announced > kMaxTextBytes)
            return FailAs(HTTP_FAILURE_NOT_RELEASE, resultCode, ERROR_INSUFFICIENT_BUFFER);
        CByteBuffer body;
        if (!ReadToMemory(body, kMaxTextBytes))
            return FailAs(failure_, resultCode, GetLastError());
        // Grow appends a zero byte: the text ends at its first zero byte.
        if (!body.Grow(1))
            return FailAs(HTTP_FAILURE_LOCAL, resultCode, ERROR_NOT_ENOUGH_MEMORY);
        const char* raw = reinterpret_cast<const char*>(body.Data());
        char* converted = Utf8ToAnsi(raw, nullptr);
        text = converted && *converted ? converted : raw;
        FreeConverted(converted);
        resultCode = static_cast<uint32_t>(text.size());
        return true;
    } catch (const std::bad_alloc&) {
        text.clear();
        return FailAs(HTTP_FAILURE_LOCAL, resultCode, ERROR_NOT_ENOUGH_MEMORY);
    }
}

void CHttpClient::BeginPace()
{
    paceStart_ = GetTickCount();
    paceBytes_ = 0;
}

bool CHttpClient::ReadAvailable(char* buffer, uint32_t size, uint32_t& got)
{
    got = 0;
    // The receive time-out bounds each receive, not a body that brings a
    // byte now and then: kPaceBytes must arrive within each window. The
    // check runs between reads, on this thread: closing the handle from
    // another one does not end a blocked read in every WinINet (Wine's reads
    // on).
    if (GetTickCount() - paceStart_ >= receiveTimeoutMs_) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return false;
    }
    // A text request's whole time is bounded too.
    if (!WaitFitsDeadline())
        return false;
    // A read asks only for what has arrived: a full-size read would wait for
    // the whole chunk, however slowly it came. The query waits for one
    // receive at most and gives 0 at the end of the body, where a read of one
    // byte returns at once with nothing.
    DWORD available = 0;
    if (!wininet::InternetQueryDataAvailable(request_.Get(), &available, 0, 0)) // no flags, no context
        return false;
    DWORD wanted = available == 0 ? 1 : (available < size ? available : size);
    DWORD read = 0;
    if (!wininet::InternetReadFile(request_.Get(), buffer, wanted, &read))
        return false;
    got = read;
    paceBytes_ += read;
    if (paceBytes_ >= kPaceBytes)
        BeginPace();
    return true;
}

bool CHttpClient::ReadToFile(FILE* file, uint32_t expected)
{
    failure_ = HTTP_FAILURE_LOCAL;
    if (!open_ || !request_ || !file)
        return false;
    BeginPace();
    uint32_t total = 0;
    char chunk[kChunkSize];
    // Close (from the progress callback, say) clears the flag and ends the loop.
    while (open_) {
        memset(chunk, 0, sizeof(chunk));
        uint32_t got = 0;
        failure_ = HTTP_FAILURE_TRANSPORT;
        if (!ReadAvailable(chunk, sizeof(chunk), got))
            return false;
        total += got;
        // More than was announced is not taken in (a server that does not
        // stop): the download fails here, however much more would come.
        if (expected > 0 && total > expected) {
            failure_ = HTTP_FAILURE_NOT_RELEASE;
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        if (progress_ && expected > 0)
            progress_(expected, total);
        // A body that ends short of its length was cut off on the way.
        if (got == 0)
            return expected == 0 || total == expected;
        // A short write (disk full, say) must not pass as a complete download.
        failure_ = HTTP_FAILURE_LOCAL;
        if (fwrite(chunk, 1, got, file) != got)
            return false;
    }
    return false;
}

bool CHttpClient::ReadToMemory(CByteBuffer& buffer, uint32_t limit)
{
    failure_ = HTTP_FAILURE_LOCAL;
    if (!open_ || !request_)
        return false;
    BeginPace();
    char chunk[kChunkSize];
    while (open_) {
        memset(chunk, 0, sizeof(chunk));
        uint32_t got = 0;
        failure_ = HTTP_FAILURE_TRANSPORT;
        if (!ReadAvailable(chunk, sizeof(chunk), got))
            return false;
        if (got == 0) {
            failure_ = HTTP_FAILURE_NONE;
            return true;
        }
        if (limit != 0 && (buffer.Size() + got > limit || buffer.Size() + got < got)) {
            failure_ = HTTP_FAILURE_NOT_RELEASE;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        // Bodies read this way are short texts: one re-allocation per chunk is fine.
        failure_ = HTTP_FAILURE_LOCAL;
        if (!buffer.Grow(got)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        memcpy(buffer.Data() + buffer.Size() - got, chunk, got);
    }
    return false;
}
