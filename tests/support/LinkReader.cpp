#include "tests/support/LinkReader.h"

#include "tests/support/TestSupport.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace qvtest {

static bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Reads the string section of a .lnk file (the documented shell link format:
// 76-byte header with the link flags at offset 20, optional target ID list,
// optional link information, then the counted UTF-16 strings in a fixed order).
// Wine 8 stores the relative path string without its flag bit (and then reads
// the following strings one slot off), so under Wine that extra string is
// expected after the name and checked separately.
bool ReadLinkStrings(const std::string& lnk, LinkFields& fields)
{
    std::vector<unsigned char> b;
    if (!qvtest::ReadBytes(lnk, b) || b.size() < 76 || b[0] != 0x4C)
        return false;
    auto u16 = [&](size_t at) { return at + 2 <= b.size() ? size_t(b[at] | b[at + 1] << 8) : size_t(0); };
    auto u32 = [&](size_t at) { return at + 4 <= b.size() ? (u16(at) | u16(at + 2) << 16) : size_t(0); };
    uint32_t flags = static_cast<uint32_t>(u32(20));
    size_t at = 76;
    if (flags & 0x01) // target ID list
        at += 2 + u16(at);
    if (flags & 0x02) // link information
        at += u32(at);
    auto readString = [&](std::string& out) {
        size_t count = u16(at);
        at += 2;
        std::wstring wide;
        for (size_t i = 0; i < count && at + 2 <= b.size(); ++i, at += 2)
            wide.push_back(static_cast<wchar_t>(u16(at)));
        while (!wide.empty() && wide.back() == 0) // a writer may count the terminator
            wide.pop_back();
        char ansi[1024] = {0};
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof(ansi), nullptr, nullptr);
        out = ansi;
        // Some writers also store the terminator after the counted characters.
        if (u16(at) == 0 && count > 0 && wide.size() == count)
            at += 2;
    };
    if (flags & 0x04) readString(fields.name);
    if ((flags & 0x08) || RunningUnderWine()) readString(fields.relativePath);
    if (flags & 0x10) readString(fields.folder);
    fields.hasArguments = (flags & 0x20) != 0;
    if (flags & 0x20) readString(fields.arguments);
    if (flags & 0x40) readString(fields.icon);
    return at <= b.size();
}

// The target as the shell's link object reports it.
std::string ReadLinkTarget(const std::string& lnk)
{
    std::string path;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH);
            char buffer[1024] = {0};
            if (SUCCEEDED(file->Load(wide, STGM_READ)))
                link->GetPath(buffer, sizeof(buffer), nullptr, SLGP_RAWPATH);
            path = buffer;
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return path;
}

} // namespace qvtest
