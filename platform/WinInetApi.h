// The WinINet functions the HTTP client calls, through wininet.dll loaded
// from the system folder on first use (platform/SystemLibrary.h). Each takes
// the arguments and gives the results of the function of the same name; when
// the DLL or the entry is missing, the handle functions return null and the
// others FALSE, with the last error ERROR_MOD_NOT_FOUND or
// ERROR_PROC_NOT_FOUND, as for any transport failure.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace wininet {

HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD flags);
HINTERNET InternetConnectA(HINTERNET internet, LPCSTR host, INTERNET_PORT port, LPCSTR userName,
                           LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context);
HINTERNET HttpOpenRequestA(HINTERNET connection, LPCSTR verb, LPCSTR objectName, LPCSTR version,
                           LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags, DWORD_PTR context);
BOOL HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD length, DWORD modifiers);
BOOL HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength);
BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index);
BOOL InternetQueryDataAvailable(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context);
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL InternetSetOptionA(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length);
BOOL InternetCloseHandle(HINTERNET internet);
BOOL DeleteUrlCacheEntryA(LPCSTR url);
BOOL InternetQueryOptionA(HINTERNET internet, DWORD option, LPVOID buffer, LPDWORD length);
// WinINet's own dialogs (the proxy sign-in); ERROR_CANCELLED when missing.
DWORD InternetErrorDlg(HWND parent, HINTERNET request, DWORD error, DWORD flags, LPVOID* data);

} // namespace wininet
