// Connection, request headers, status and closing of CHttpClient. The request
// operations are in HttpRequests.cpp.
#include "net/HttpClient.h"

#include "core/StringUtil.h"
#include "net/ProxySignIn.h"
#include "net/UrlEncode.h"

#include <windows.h>
#include "platform/WinInetApi.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

const char kDefaultAgentName[] = "QVClient";
const char kAgentSeparator[] = "-";
const DWORD kConnectTimeoutMs = 10000;
const DWORD kSendTimeoutMs = 10000;
const DWORD kConnectRetries = 1;

// RELOAD | NO_CACHE_WRITE | KEEP_CONNECTION | NO_AUTO_REDIRECT |
// IGNORE_REDIRECT_TO_HTTP | IGNORE_REDIRECT_TO_HTTPS | HYPERLINK |
// PRAGMA_NOCACHE | transfer type binary. WinINet follows no redirect: the
// client does, with a limit (HttpRequests.cpp).
const DWORD kRequestFlags = 0x8460C502;
static_assert(kRequestFlags == (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                                INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_TRANSFER_BINARY),
              "request flags");

const DWORD kAddHeaderMode = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;
// Formatted header lines are made in a work area of this size; a line that
// does not fit is not sent.
const size_t kHeaderLineSize = 512;
const DWORD kStatusBufferSize = 64;


void SetDwordOption(HINTERNET handle, DWORD option, DWORD value)
{
    wininet::InternetSetOptionA(handle, option, &value, sizeof(value));
}

// Tells WinINet to take up changed settings at once.
void RefreshSettings()
{
    wininet::InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    wininet::InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}

// True when code points into committed, accessible memory: the test
// IsBadCodePtr makes, without touching the page.
bool IsCallable(const void* code)
{
    MEMORY_BASIC_INFORMATION info;
    if (!code || VirtualQuery(code, &info, sizeof(info)) != sizeof(info))
        return false;
    return info.State == MEM_COMMIT && !(info.Protect & (PAGE_GUARD | PAGE_NOACCESS));
}

// Formats "Name:Value\r\n" into the work area; false when it does not fit or
// when the name or value holds a control byte (a line break would start a
// header of its own).
bool FormatHeaderLine(const HttpHeaderPair& pair, char (&line)[kHeaderLineSize])
{
    if (!HasNoControlBytes(pair.name.c_str()) || !HasNoControlBytes(pair.value.c_str()))
        return false;
    return FormatInto(line, sizeof(line), "%s:%s\r\n", pair.name.c_str(), pair.value.c_str()) >= 0;
}

} // namespace

CHttpClient::CHttpClient() {}

CHttpClient::~CHttpClient()
{
    Close();
}

void CHttpClient::SetAgentName(const char* name)
{
    if (name)
        agentName_ = name;
}

void CHttpClient::SetAgentSuffix(const char* suffix)
{
    if (suffix)
        agentSuffix_ = suffix;
}

void CHttpClient::SetProgressCallback(ProgressCallback callback)
{
    progress_ = IsCallable(reinterpret_cast<const void*>(callback)) ? callback : nullptr;
}

void CHttpClient::AddHeader(HttpHeaderPair pair)
{
    try {
        if (pair.append == 0)
            pendingHeaders_.clear();
        pendingHeaders_.push_back(std::move(pair));
    } catch (const std::bad_alloc&) {
    }
}

void CHttpClient::SetReceiveTimeout(uint32_t milliseconds)
{
    receiveTimeoutMs_ = (milliseconds == 0 || milliseconds > kReceiveTimeoutMs) ? kReceiveTimeoutMs : milliseconds;
}

uint32_t CHttpClient::ReceiveWaitMs() const
{
    // A text request waits at most half the receive time-out at a time, so
    // that its last wait still ends before its deadline.
    if (!deadlineSet_)
        return receiveTimeoutMs_;
    return receiveTimeoutMs_ / 2 > 0 ? receiveTimeoutMs_ / 2 : 1;
}

bool CHttpClient::WaitFitsDeadline() const
{
    if (!deadlineSet_)
        return true;
    const int32_t left = static_cast<int32_t>(deadline_ - GetTickCount());
    if (left >= static_cast<int32_t>(ReceiveWaitMs()))
        return true;
    SetLastError(ERROR_INTERNET_TIMEOUT);
    return false;
}

std::string CHttpClient::UserAgent()
{
    std::string agent = agentName_.empty() ? kDefaultAgentName : agentName_;
    agent += kAgentSeparator;
    if (agentSuffix_.empty())
        agentSuffix_ = machineInfo_.GetMachineId();
    return agent + agentSuffix_;
}

void CHttpClient::SetCommonOptions(void* handle, bool requestHandle)
{
    SetDwordOption(handle, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    SetDwordOption(handle, INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
    // Bounds each single receive: the answer's first bytes, and every read of
    // the body (whose overall pace ReadAvailable checks).
    SetDwordOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, ReceiveWaitMs());
    SetDwordOption(handle, INTERNET_OPTION_CONNECT_RETRIES, kConnectRetries);
    // A request must not wait on an offline cache state.
    if (requestHandle)
        SetDwordOption(handle, INTERNET_OPTION_IGNORE_OFFLINE, 1);
    // Never dial a modem connection on our own.
    SetDwordOption(handle, INTERNET_OPTION_DISABLE_AUTODIAL, 1);
    RefreshSettings();
}

bool CHttpClient::OpenRequest(const char* host, const char* path, uint16_t port, int useGet)
{
    if (!host || !*host || !path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    Close();
    // A line break in the host or path would end the request line early and
    // send the rest as headers: such a request is not sent at all.
    std::string rooted = path[0] == '/' ? std::string(path) : std::string("/") + path;
    std::string objectName;
    if (!HasNoControlBytes(host) || !EncodeRequestPath(rooted.c_str(), objectName)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return false;
    }

    // A cached copy of the server root must not answer in the server's place.
    std::string cacheKey = std::string("http://") + host;
    if (cacheKey[cacheKey.size() - 1] != '/')
        cacheKey += '/';
    wininet::DeleteUrlCacheEntryA(cacheKey.c_str());

    std::string agent = UserAgent();

    CInternetHandle internet(wininet::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                               nullptr, nullptr, // no proxy, no bypass list
                                               0));
    if (!internet.Get())
        return false;
    SetCommonOptions(internet.Get(), false);

    CInternetHandle connection(wininet::InternetConnectA(internet.Get(), host, port,
                                                    "", "", // empty user and password
                                                    INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.Get())
        return false;
    SetCommonOptions(connection.Get(), false);

    CInternetHandle request(wininet::HttpOpenRequestA(connection.Get(), useGet ? "GET" : "POST", objectName.c_str(),
                                                 nullptr, nullptr, nullptr, // default version, no referrer, any type
                                                 kRequestFlags, 0));
    if (!request.Get())
        return false;
    SetCommonOptions(request.Get(), true);
    CProxySignIn::ApplyKnown(request.Get());

    internet_.Reset(internet.Release());
    connection_.Reset(connection.Release());
    request_.Reset(request.Release());
    open_ = 1;
    return true;
}

bool CHttpClient::AddRequestHeaders()
{
    bool added = AddHeaderLines(pendingHeaders_);
    pendingHeaders_.clear();
    return added;
}

bool CHttpClient::AddHeaderLines(const std::vector<HttpHeaderPair>& pairs)
{
    if (!open_ || !request_)
        return false;
    wininet::HttpAddRequestHeadersA(request_.Get(), "Accept: */*\r\n", static_cast<DWORD>(-1), kAddHeaderMode);
    for (const HttpHeaderPair& pair : pairs) {
        char line[kHeaderLineSize] = {0};
        if (FormatHeaderLine(pair, line))
            wininet::HttpAddRequestHeadersA(request_.Get(), line, static_cast<DWORD>(-1), kAddHeaderMode);
    }
    wininet::HttpAddRequestHeadersA(request_.Get(), "Cache-Control: no-cache\r\n", static_cast<DWORD>(-1), kAddHeaderMode);
    char contentType[kHeaderLineSize] = {0};
    FormatInto(contentType, sizeof(contentType), "Content-Type: %s\r\n", "text/plain");
    return wininet::HttpAddRequestHeadersA(request_.Get(), contentType, static_cast<DWORD>(-1), kAddHeaderMode) != FALSE;
}

bool CHttpClient::SendRequest()
{
    if (!open_ || !request_)
        return false;
    return wininet::HttpSendRequestA(request_.Get(), nullptr, 0, // no extra headers
                                     nullptr, 0) != FALSE; // no body
}

bool CHttpClient::QueryStatus(uint32_t& code)
{
    code = 0;
    if (!open_ || !request_)
        return false;
    char status[kStatusBufferSize] = {0};
    DWORD size = sizeof(status) - 1;
    if (!wininet::HttpQueryInfoA(request_.Get(), HTTP_QUERY_STATUS_CODE, status, &size, nullptr))
        return false;
    code = static_cast<uint32_t>(strtoul(status, nullptr, 10));
    return true;
}

void CHttpClient::Close()
{
    open_ = 0;
    // The request first, then what it was opened from.
    request_.Close();
    connection_.Close();
    internet_.Close();
}
