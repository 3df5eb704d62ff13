#include "tools/qvpublish/TableOutput.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

bool ReadPublishMode(const CToolOptions& options, int& mode, std::string& error)
{
    mode = kDefaultPublishMode;
    if (!options.Has("mode"))
        return true;
    std::string value = options.Value("mode");
    if (value != "0" && value != "1" && value != "2") {
        error = "--mode must be 0 (deflate), 1 (deflate + RC4) or 2 (deflate + SEED)";
        return false;
    }
    mode = value[0] - '0';
    return true;
}

bool IsCleanUtf8(const std::string& text)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;  // continuation byte, C0/C1 lead or beyond U+10FFFF
        }
        if (i + extra >= n)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (s[i + k] & 0x3F);
        }
        bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

bool AddUtf8Cell(CTableFile& table, const std::string& text)
{
    unsigned char* block = static_cast<unsigned char*>(malloc(text.size() + 1));
    if (!block)
        return false;
    memcpy(block, text.c_str(), text.size() + 1);
    return table.AddBytes(block, text.size() + 1);  // owns block from here on
}

bool SaveTable(const CTableFile& table, const std::string& path, int mode, std::string& error)
{
    bool saved = ReplaceFile(
        path,
        [&](const std::string& temporary) { return table.Save(temporary.c_str(), nullptr, 0, mode, true); },
        error);
    return saved;
}
