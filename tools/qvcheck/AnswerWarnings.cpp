#include "tools/qvcheck/AnswerWarnings.h"

#include "platform/SystemLibrary.h"
#include "platform/WinInetApi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// InternetQueryOptionA is qvcheck's alone: the setup program does not ask
// for it, so it stays out of the shared WinINet table.
enum Entry { kInternetQueryOptionA, kEntryCount };
constexpr char kNames[] = "InternetQueryOptionA\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");
FARPROC g_entries[kEntryCount];
SystemImportTable g_query = {"wininet.dll", kNames, g_entries, nullptr, 0, nullptr};

// Large enough for any header value a release server sends.
constexpr DWORD kHeaderBufferSize = 1024;

// Every value of the header `level` (a header may come several times),
// joined with ", " as one list.
std::string HeaderValues(void* request, DWORD level)
{
    std::string joined;
    // A bound, in case a WinINet keeps answering the same occurrence.
    for (DWORD index = 0, round = 0; round < 16; ++round) {
        char value[kHeaderBufferSize] = {0};
        DWORD size = sizeof(value) - 1;
        const DWORD asked = index;
        if (!wininet::HttpQueryInfoA(request, level, value, &size, &index))
            break;
        if (!joined.empty())
            joined += ", ";
        joined += value;
        // WinINet moves index to the next occurrence; one that does not has
        // no further values to give.
        if (index == asked)
            break;
    }
    return joined;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The comma-separated directives of a header value, blanks trimmed.
std::vector<std::string> Directives(const std::string& value)
{
    std::vector<std::string> list;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        std::string item = Trim(value.substr(start, end - start));
        if (!item.empty())
            list.push_back(item);
        start = end + 1;
    }
    return list;
}

// The number of a "name=N" directive, or -1 when absent or unreadable.
long DeltaSeconds(const std::vector<std::string>& directives, const char* name)
{
    const size_t length = strlen(name);
    for (const std::string& item : directives) {
        if (item.size() <= length + 1 || item[length] != '=' || _stricmp(item.substr(0, length).c_str(), name) != 0)
            continue;
        std::string number = Trim(item.substr(length + 1));
        if (number.size() >= 2 && number.front() == '"' && number.back() == '"')
            number = number.substr(1, number.size() - 2);
        if (number.empty() || strspn(number.c_str(), "0123456789") != number.size())
            return -1;
        return static_cast<long>(strtoul(number.c_str(), nullptr, 10));
    }
    return -1;
}

bool HasDirective(const std::vector<std::string>& directives, const char* name)
{
    for (const std::string& item : directives)
        if (_stricmp(item.c_str(), name) == 0)
            return true;
    return false;
}

// True when a Cache-Control value makes a shared cache revalidate before
// every reuse.
bool CacheControlForcesRevalidation(const std::string& value)
{
    const std::vector<std::string> directives = Directives(value);
    // A bare no-cache: a field-specific one (no-cache="Set-Cookie") still
    // lets a cache serve the body unasked.
    if (HasDirective(directives, "no-cache") || HasDirective(directives, "no-store"))
        return true;
    const long shared = DeltaSeconds(directives, "s-maxage");
    if (shared >= 0)
        return shared == 0;
    return DeltaSeconds(directives, "max-age") == 0;
}

} // namespace

void PrintProxy()
{
    // The access type every request of the client uses.
    HINTERNET internet = wininet::InternetOpenA("qvcheck", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    auto query = SystemEntry<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD)>(g_query, kInternetQueryOptionA);
    std::vector<char> buffer;
    DWORD size = 0;
    bool known = false;
    if (internet && query) {
        // First the size, then the structure with its texts behind it.
        query(internet, INTERNET_OPTION_PROXY, nullptr, &size);
        if (size >= sizeof(INTERNET_PROXY_INFO)) {
            buffer.assign(size, 0);
            known = query(internet, INTERNET_OPTION_PROXY, buffer.data(), &size) != FALSE;
        }
    }
    const INTERNET_PROXY_INFO* info = known ? reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data()) : nullptr;
    const char* proxy = info ? reinterpret_cast<const char*>(info->lpszProxy) : nullptr;
    const char* bypass = info ? reinterpret_cast<const char*>(info->lpszProxyBypass) : nullptr;
    if (info && info->dwAccessType == INTERNET_OPEN_TYPE_PROXY && proxy && *proxy) {
        printf("proxy: %s", proxy);
        if (bypass && *bypass)
            printf(" (bypass %s)", bypass);
        printf("\n");
    } else {
        printf("proxy: none (direct)\n");
    }
    fflush(stdout);
    if (internet)
        wininet::InternetCloseHandle(internet);
}

void WarnAboutAnswer(void* request, const char* objectName)
{
    const char* path = objectName ? objectName : "";
    char status[64] = {0};
    DWORD size = sizeof(status) - 1;
    if (!wininet::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, status, &size, nullptr))
        return;
    const unsigned long code = strtoul(status, nullptr, 10);
    // Only what a cache would keep as the file: a redirect or an error is
    // reported by the command itself.
    if (code < 200 || code > 299)
        return;

    const std::string cacheControl = HeaderValues(request, HTTP_QUERY_CACHE_CONTROL);
    if (!CacheControlForcesRevalidation(cacheControl))
        printf("warning: %s: no \"Cache-Control: no-cache\" or max-age=0 (sent: %s): a proxy or cache may keep "
               "this answer and hand it out after the release changes (stale lists and packages install the "
               "previous release)\n",
               path, cacheControl.empty() ? "none" : cacheControl.c_str());

    const std::string encoding = HeaderValues(request, HTTP_QUERY_CONTENT_ENCODING);
    if (!encoding.empty() && _stricmp(encoding.c_str(), "identity") != 0)
        printf("warning: %s: compressed (Content-Encoding \"%s\"): a proxy or cache passes on bytes that are "
               "not the published file, and the installer refuses them\n",
               path, encoding.c_str());

    const std::string transfer = HeaderValues(request, HTTP_QUERY_TRANSFER_ENCODING);
    for (const std::string& item : Directives(transfer))
        if (_stricmp(item.c_str(), "chunked") == 0) {
            printf("warning: %s: chunked (Transfer-Encoding: chunked): a proxy or cache passes it on without "
                   "a Content-Length, and the installer refuses a file without one\n",
                   path);
            break;
        }
    fflush(stdout);
}
