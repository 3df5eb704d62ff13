#include "sysinfo/MachineInfo.h"

#include "core/StringUtil.h"
#include "platform/SystemHandles.h"

#include "core/Md5.h"

#include "platform/SystemLibrary.h"

#include <windows.h>
#include <iphlpapi.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// GetAdaptersInfo's first answer goes into a buffer of this size; a larger
// one is allocated when the system asks for it.
const unsigned long kFirstAdapterBufferSize = 640;
const unsigned kWindowsFolderBufferSize = 128;
const unsigned kMacAddressLength = 6;

// Addresses of virtual adapters, dial-up and tunnel placeholders and driver
// defaults: they say nothing about the machine.
const char* const kBlacklist[] = {
    "000000000000", "000000000001", "000000000717", "005056C00001",
    "005056C00008", "005345000000", "445535400000", "004E4D50524F",
    "444553544200", "444553547777", "46534C325450",
};

bool IsBlacklisted(const char* address)
{
    for (const char* listed : kBlacklist)
        if (lstrcmpiA(address, listed) == 0)
            return true;
    return false;
}

// Zero-filled block freed on every path.
class ZeroedBlock {
public:
    explicit ZeroedBlock(unsigned long size) : data_(new (std::nothrow) unsigned char[size]())
    {
    }
    ~ZeroedBlock() { delete[] data_; }
    IP_ADAPTER_INFO* adapters() const { return reinterpret_cast<IP_ADAPTER_INFO*>(data_); }
private:
    unsigned char* data_;
};

const CMachineFactSource& SystemSource()
{
    static const CMachineFactSource source;
    return source;
}

} // namespace

unsigned CMachineFactSource::WindowsDirectory(char* buffer, unsigned size) const
{
    return GetWindowsDirectoryA(buffer, size);
}

bool CMachineFactSource::VolumeSerial(const char* root, unsigned long& serial) const
{
    DWORD value = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, // no volume name
                               &value, nullptr, nullptr, // no length limit, no flags
                               nullptr, 0)) // no file-system name
        return false;
    serial = value;
    return true;
}

unsigned long CMachineFactSource::AdaptersInfo(IP_ADAPTER_INFO* buffer, unsigned long* size) const
{
    // Loaded at run time: Windows 95 and NT 4.0 before SP4 have no IP Helper,
    // and the program must still start there (with an empty address list).
    typedef DWORD(WINAPI * GetAdaptersInfoFn)(PIP_ADAPTER_INFO, PULONG);
    CLoadedModule library(LoadSystemLibrary("iphlpapi.dll"));
    GetAdaptersInfoFn getAdaptersInfo =
        reinterpret_cast<GetAdaptersInfoFn>(reinterpret_cast<void*>((library ? GetProcAddress(library.Get(), "GetAdaptersInfo") : nullptr)));
    if (!getAdaptersInfo)
        return ERROR_NOT_SUPPORTED;
    return getAdaptersInfo(buffer, size);
}

CMachineInfo::CMachineInfo(const CMachineFactSource* source) : source_(source ? source : &SystemSource()) {}

CMachineInfo::~CMachineInfo() {}

const char* CMachineInfo::GetMacAddress()
{
    if (!collected_)
        Collect();
    return macAddress_.c_str();
}

const char* CMachineInfo::GetMachineId()
{
    if (!collected_)
        Collect();
    return machineId_.c_str();
}

const char* CMachineInfo::GetVolumeSerial()
{
    if (!collected_)
        Collect();
    return volumeSerial_.c_str();
}

void CMachineInfo::Collect()
{
    volumeSerial_.clear();
    macAddress_.clear();
    machineId_.clear();
    // Short texts only; a failed allocation keeps what was reached.
    try {
        CollectVolumeSerial();
        CollectAdapters();
        MakeMachineId();
    } catch (const std::bad_alloc&) {
    }
    collected_ = 1;
}

void CMachineInfo::CollectVolumeSerial()
{
    char folder[kWindowsFolderBufferSize] = {0};
    unsigned length = source_->WindowsDirectory(folder, sizeof(folder));
    // A length of the buffer size or more is the size the call would need: the
    // buffer holds nothing usable, which counts as a failure.
    if (length == 0 || length >= sizeof(folder))
        return;
    char root[4] = "C:\\";
    if (isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' && folder[2] == '\\')
        root[0] = folder[0];
    unsigned long serial = 0;
    if (!source_->VolumeSerial(root, serial)) {
        volumeSerial_ = "Unknown";
        return;
    }
    char text[16];
    FormatInto(text, sizeof(text), "%lX", serial);
    volumeSerial_ = text;
}

void CMachineInfo::CollectAdapters()
{
    unsigned long size = kFirstAdapterBufferSize;
    ZeroedBlock first(size);
    if (!first.adapters())
        return;
    const ZeroedBlock* block = &first;
    unsigned long result = source_->AdaptersInfo(first.adapters(), &size);
    ZeroedBlock larger(result == ERROR_BUFFER_OVERFLOW ? size : 0);
    if (result == ERROR_BUFFER_OVERFLOW) {
        if (size == 0 || !larger.adapters())
            return;
        block = &larger;
        result = source_->AdaptersInfo(larger.adapters(), &size);
    }
    if (result != ERROR_SUCCESS)
        return;

    for (const IP_ADAPTER_INFO* adapter = block->adapters(); adapter; adapter = adapter->Next) {
        if (adapter->Type != MIB_IF_TYPE_ETHERNET || adapter->AddressLength != kMacAddressLength)
            continue;
        // An adapter without an address reports 0.0.0.0.
        char ip[sizeof(adapter->IpAddressList.IpAddress.String) + 1] = {0};
        memcpy(ip, adapter->IpAddressList.IpAddress.String, sizeof(ip) - 1);
        if (strstr(ip, "0.0.0.0"))
            continue;
        char address[2 * kMacAddressLength + 1] = {0};
        for (unsigned i = 0; i < kMacAddressLength; ++i)
            FormatInto(address + 2 * i, 3, "%02X", adapter->Address[i]);
        if (IsBlacklisted(address))
            continue;
        if (!macAddress_.empty())
            macAddress_ += ",";
        macAddress_ += address;
    }
}

void CMachineInfo::MakeMachineId()
{
    std::string text = volumeSerial_ + "-" + macAddress_;
    std::string digest;
    if (!Md5Buffer(text.data(), text.size(), digest))
        return;
    char length[16];
    FormatInto(length, sizeof(length), "%04X", static_cast<unsigned>(text.size()));
    machineId_ = digest + length;
}
