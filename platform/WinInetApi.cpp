#include "platform/WinInetApi.h"

#include "platform/SystemLibrary.h"

namespace {

enum Entry {
    kInternetOpenA,
    kInternetConnectA,
    kHttpOpenRequestA,
    kHttpAddRequestHeadersA,
    kHttpSendRequestA,
    kHttpQueryInfoA,
    kInternetQueryDataAvailable,
    kInternetReadFile,
    kInternetSetOptionA,
    kInternetCloseHandle,
    kDeleteUrlCacheEntryA,
    kInternetQueryOptionA,
    kInternetErrorDlg,
    kEntryCount
};
constexpr char kNames[] = "InternetOpenA\0InternetConnectA\0HttpOpenRequestA\0HttpAddRequestHeadersA\0"
                          "HttpSendRequestA\0HttpQueryInfoA\0InternetQueryDataAvailable\0InternetReadFile\0"
                          "InternetSetOptionA\0InternetCloseHandle\0DeleteUrlCacheEntryA\0InternetQueryOptionA\0"
                          "InternetErrorDlg\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

FARPROC g_entries[kEntryCount];
SystemImportTable g_wininet = {"wininet.dll", kNames, g_entries, nullptr, 0, nullptr};

} // namespace

HINTERNET wininet::InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD flags)
{
    auto entry = SystemEntry<decltype(&::InternetOpenA)>(g_wininet, kInternetOpenA);
    return entry ? entry(agent, accessType, proxy, proxyBypass, flags) : nullptr;
}

HINTERNET wininet::InternetConnectA(HINTERNET internet, LPCSTR host, INTERNET_PORT port, LPCSTR userName,
                                    LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context)
{
    auto entry = SystemEntry<decltype(&::InternetConnectA)>(g_wininet, kInternetConnectA);
    return entry ? entry(internet, host, port, userName, password, service, flags, context) : nullptr;
}

HINTERNET wininet::HttpOpenRequestA(HINTERNET connection, LPCSTR verb, LPCSTR objectName, LPCSTR version,
                                    LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags, DWORD_PTR context)
{
    auto entry = SystemEntry<decltype(&::HttpOpenRequestA)>(g_wininet, kHttpOpenRequestA);
    return entry ? entry(connection, verb, objectName, version, referrer, acceptTypes, flags, context) : nullptr;
}

BOOL wininet::HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD length, DWORD modifiers)
{
    auto entry = SystemEntry<decltype(&::HttpAddRequestHeadersA)>(g_wininet, kHttpAddRequestHeadersA);
    return entry ? entry(request, headers, length, modifiers) : FALSE;
}

BOOL wininet::HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                               DWORD optionalLength)
{
    auto entry = SystemEntry<decltype(&::HttpSendRequestA)>(g_wininet, kHttpSendRequestA);
    return entry ? entry(request, headers, headersLength, optional, optionalLength) : FALSE;
}

BOOL wininet::HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index)
{
    auto entry = SystemEntry<decltype(&::HttpQueryInfoA)>(g_wininet, kHttpQueryInfoA);
    return entry ? entry(request, infoLevel, buffer, bufferLength, index) : FALSE;
}

BOOL wininet::InternetQueryDataAvailable(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context)
{
    auto entry = SystemEntry<decltype(&::InternetQueryDataAvailable)>(g_wininet, kInternetQueryDataAvailable);
    return entry ? entry(file, available, flags, context) : FALSE;
}

BOOL wininet::InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read)
{
    auto entry = SystemEntry<decltype(&::InternetReadFile)>(g_wininet, kInternetReadFile);
    return entry ? entry(file, buffer, toRead, read) : FALSE;
}

BOOL wininet::InternetSetOptionA(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length)
{
    auto entry = SystemEntry<decltype(&::InternetSetOptionA)>(g_wininet, kInternetSetOptionA);
    return entry ? entry(internet, option, buffer, length) : FALSE;
}

BOOL wininet::InternetCloseHandle(HINTERNET internet)
{
    auto entry = SystemEntry<decltype(&::InternetCloseHandle)>(g_wininet, kInternetCloseHandle);
    return entry ? entry(internet) : FALSE;
}

BOOL wininet::DeleteUrlCacheEntryA(LPCSTR url)
{
    auto entry = SystemEntry<decltype(&::DeleteUrlCacheEntryA)>(g_wininet, kDeleteUrlCacheEntryA);
    return entry ? entry(url) : FALSE;
}

BOOL wininet::InternetQueryOptionA(HINTERNET internet, DWORD option, LPVOID buffer, LPDWORD length)
{
    auto entry = SystemEntry<decltype(&::InternetQueryOptionA)>(g_wininet, kInternetQueryOptionA);
    return entry ? entry(internet, option, buffer, length) : FALSE;
}

DWORD wininet::InternetErrorDlg(HWND parent, HINTERNET request, DWORD error, DWORD flags, LPVOID* data)
{
    auto entry = SystemEntry<decltype(&::InternetErrorDlg)>(g_wininet, kInternetErrorDlg);
    return entry ? entry(parent, request, error, flags, data) : static_cast<DWORD>(ERROR_CANCELLED);
}
