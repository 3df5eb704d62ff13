// The request operations of CHttpClient and the body readers they share.
#include "net/HttpClient.h"

#include "net/UrlEncode.h"
#include "sysinfo/TextConvert.h"
#include "update/ByteBuffer.h"

#include <windows.h>
#include <wininet.h>
#include <share.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const DWORD kChunkSize = 4096;
const DWORD kLengthBufferSize = 64;

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

// Closes the C stream on every path; Close reports whether the last buffered
// bytes reached the disk.
class FileHolder {
public:
    explicit FileHolder(FILE* f) : f_(f) {}
    ~FileHolder() { Close(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    FILE* get() const { return f_; }
    bool Close()
    {
        FILE* f = f_;
        f_ = nullptr;
        return !f || fclose(f) == 0;
    }
private:
    FILE* f_;
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

} // namespace

// Opens, sends and judges one request. False with resultCode set when it
// fails: the status outside 200..299, or the system error of the failing step.
bool CHttpClient::StartRequest(const char* host, const char* objectName, uint16_t port, int useGet,
                               uint32_t& resultCode)
{
    if (!OpenRequest(host, objectName, port, useGet) || !AddRequestHeaders() || !SendRequest())
        return Fail(resultCode, GetLastError());
    uint32_t status = 0;
    if (!QueryStatus(status))
        return Fail(resultCode, GetLastError());
    if (!IsSuccessStatus(status)) {
        resultCode = status;
        return false;
    }
    return true;
}

bool CHttpClient::DownloadToFile(const char* host, const char* path, uint16_t port, const char* localPath,
                                 uint32_t& resultCode, bool requireLength)
{
    resultCode = 0;
    CloseOnExit closer(*this);
    if (!host || !path || !localPath)
        return Fail(resultCode, ERROR_INVALID_PARAMETER);
    try {
        if (!StartRequest(host, ObjectName(path).c_str(), port, 1, resultCode))
            return false;

        char length[kLengthBufferSize] = {0};
        DWORD size = sizeof(length) - 1;
        if (HttpQueryInfoA(request_, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
            resultCode = static_cast<uint32_t>(strtoul(length, nullptr, 10));
        } else if (requireLength) {
            return Fail(resultCode, GetLastError());
        }

        // No sharing restriction: others may look at the file while it arrives.
        FileHolder file(_fsopen(localPath, "w+b", _SH_DENYNO));
        if (!file.get())
            return Fail(resultCode, GetLastError());
        bool complete = ReadToFile(file.get(), resultCode);
        DWORD error = GetLastError();
        // A write that fails only when the stream is flushed is a failed download too.
        if (!file.Close() && complete) {
            complete = false;
            error = GetLastError();
        }
        return complete ? true : Fail(resultCode, error);
    } catch (const std::bad_alloc&) {
        return Fail(resultCode, ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool CHttpClient::RequestText(const char* host, const char* path, uint16_t port,
                              const HttpParameters& parameters, std::string& text, uint32_t& resultCode)
{
    resultCode = 0;
    text.clear();
    CloseOnExit closer(*this);
    if (!host || !path)
        return Fail(resultCode, ERROR_INVALID_PARAMETER);
    try {
        std::string objectName = ObjectName(path);
        if (!parameters.empty()) {
            objectName += strchr(path, '?') ? '&' : '?';
            objectName += QueryText(parameters);
        }
        if (!StartRequest(host, objectName.c_str(), port, 0, resultCode))
            return false;

        CByteBuffer body;
        if (!ReadToMemory(body))
            return Fail(resultCode, GetLastError());
        // Grow appends a zero byte: the text ends at its first zero byte.
        if (!body.Grow(1))
            return Fail(resultCode, ERROR_NOT_ENOUGH_MEMORY);
        const char* raw = reinterpret_cast<const char*>(body.Data());
        char* converted = Utf8ToAnsi(raw, nullptr);
        text = converted && *converted ? converted : raw;
        FreeConverted(converted);
        resultCode = static_cast<uint32_t>(text.size());
        return true;
    } catch (const std::bad_alloc&) {
        text.clear();
        return Fail(resultCode, ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool CHttpClient::ReadToFile(FILE* file, uint32_t expected)
{
    if (!open_ || !request_ || !file)
        return false;
    uint32_t total = 0;
    char chunk[kChunkSize];
    // Close (from the progress callback, say) clears the flag and ends the loop.
    while (open_) {
        memset(chunk, 0, sizeof(chunk));
        DWORD got = 0;
        if (!InternetReadFile(request_, chunk, sizeof(chunk), &got))
            return false;
        total += got;
        if (progress_ && expected > 0)
            progress_(expected, total);
        if (got == 0)
            return expected == 0 || total == expected;
        // A short write (disk full, say) must not pass as a complete download.
        if (fwrite(chunk, 1, got, file) != got)
            return false;
    }
    return false;
}

bool CHttpClient::ReadToMemory(CByteBuffer& buffer)
{
    if (!open_ || !request_)
        return false;
    char chunk[kChunkSize];
    while (open_) {
        memset(chunk, 0, sizeof(chunk));
        DWORD got = 0;
        if (!InternetReadFile(request_, chunk, sizeof(chunk), &got))
            return false;
        if (got == 0)
            return true;
        // Bodies read this way are short texts: one re-allocation per chunk is fine.
        if (!buffer.Grow(got)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        memcpy(buffer.Data() + buffer.Size() - got, chunk, got);
    }
    return false;
}
