// CMachineInfo: the adapter filter, the serial text and the identifier rule,
// with a fact source that answers like the system calls; then the real
// values under Wine.
#include "sysinfo/MachineInfo.h"

#include "core/Md5.h"

#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct FakeAdapter {
    unsigned type;
    std::vector<unsigned char> address;
    std::string ip;
};

FakeAdapter Ethernet(std::vector<unsigned char> address, const std::string& ip = "192.168.0.10")
{
    return FakeAdapter{MIB_IF_TYPE_ETHERNET, address, ip};
}

// Answers as GetWindowsDirectoryA, GetVolumeInformationA and GetAdaptersInfo
// would, and counts the calls.
class FakeFacts : public CMachineFactSource {
public:
    std::string windowsFolder = "C:\\WINDOWS";
    bool serialKnown = true;
    unsigned long serial = 0x0A1B2C3D;
    unsigned long adapterError = ERROR_SUCCESS;
    std::vector<FakeAdapter> adapters;

    mutable int folderCalls = 0;
    mutable int adapterCalls = 0;
    mutable std::string askedRoot;

    unsigned WindowsDirectory(char* buffer, unsigned size) const override
    {
        ++folderCalls;
        if (windowsFolder.empty())
            return 0;
        if (windowsFolder.size() >= size)
            return static_cast<unsigned>(windowsFolder.size() + 1);
        strcpy(buffer, windowsFolder.c_str());
        return static_cast<unsigned>(windowsFolder.size());
    }

    bool VolumeSerial(const char* root, unsigned long& value) const override
    {
        askedRoot = root;
        if (serialKnown)
            value = serial;
        return serialKnown;
    }

    unsigned long AdaptersInfo(IP_ADAPTER_INFO* buffer, unsigned long* size) const override
    {
        ++adapterCalls;
        if (adapterError != ERROR_SUCCESS)
            return adapterError;
        if (adapters.empty())
            return ERROR_NO_DATA;
        unsigned long needed = static_cast<unsigned long>(adapters.size() * sizeof(IP_ADAPTER_INFO));
        if (*size < needed) {
            *size = needed;
            return ERROR_BUFFER_OVERFLOW;
        }
        for (size_t i = 0; i < adapters.size(); ++i) {
            IP_ADAPTER_INFO& info = buffer[i];
            memset(&info, 0, sizeof(info));
            info.Next = i + 1 < adapters.size() ? &buffer[i + 1] : nullptr;
            info.Type = adapters[i].type;
            info.AddressLength = static_cast<UINT>(adapters[i].address.size());
            memcpy(info.Address, adapters[i].address.data(), adapters[i].address.size());
            strncpy(info.IpAddressList.IpAddress.String, adapters[i].ip.c_str(),
                    sizeof(info.IpAddressList.IpAddress.String) - 1);
        }
        return ERROR_SUCCESS;
    }
};

// The identifier the rule gives for a serial and an address list.
std::string ExpectedId(const std::string& serial, const std::string& list)
{
    std::string text = serial + "-" + list;
    std::string digest;
    EXPECT_TRUE(Md5Buffer(text.data(), text.size(), digest));
    char length[8];
    snprintf(length, sizeof(length), "%04X", static_cast<unsigned>(text.size()));
    return digest + length;
}

bool IsUpperHex(const std::string& text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

TEST(MachineInfo, EthernetAddressesAreListedInAdapterOrder)
{
    FakeFacts facts;
    facts.adapters = {Ethernet({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}),
                      Ethernet({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE})};
    CMachineInfo info(&facts);
    EXPECT_STREQ(info.GetMacAddress(), "001122334455,00AABBCCDDEE");
    // Two adapters do not fit the first 640-byte buffer: the call is repeated.
    EXPECT_EQ(facts.adapterCalls, 2);
    EXPECT_EQ(info.GetMachineId(), ExpectedId("A1B2C3D", "001122334455,00AABBCCDDEE"));
    std::cout << "[ adapters ] two adapters -> " << info.GetMacAddress() << "\n";
}

TEST(MachineInfo, AdaptersWithoutAnAddressOrOfOtherKindsOrBlacklistedAreLeftOut)
{
    FakeFacts facts;
    facts.adapters = {
        Ethernet({0x00, 0x50, 0x56, 0xC0, 0x00, 0x08}),          // blacklisted (VMware host adapter)
        Ethernet({0x00, 0x0C, 0x29, 0x01, 0x02, 0x03}, "0.0.0.0"), // no address
        Ethernet({0x00, 0x0C, 0x29, 0x04, 0x05, 0x06}, "10.0.0.0"), // holds "0.0.0.0" as text
        FakeAdapter{MIB_IF_TYPE_PPP, {0x00, 0x0C, 0x29, 0x07, 0x08, 0x09}, "10.1.2.3"},
        FakeAdapter{MIB_IF_TYPE_ETHERNET, {0x00, 0x0C, 0x29, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E}, "10.1.2.4"},
        Ethernet({0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF}, "10.1.2.5"),
    };
    CMachineInfo info(&facts);
    EXPECT_STREQ(info.GetMacAddress(), "000C29ABCDEF");
    std::cout << "[ adapters ] blacklisted, 0.0.0.0, 10.0.0.0, PPP and 8-byte adapters dropped -> "
              << info.GetMacAddress() << "\n";
}

TEST(MachineInfo, EveryBlacklistedAddressIsDropped)
{
    const char* blacklist[] = {"000000000000", "000000000001", "000000000717", "005056C00001",
                               "005056C00008", "005345000000", "445535400000", "004E4D50524F",
                               "444553544200", "444553547777", "46534C325450"};
    for (const char* text : blacklist) {
        std::vector<unsigned char> address(6);
        for (int i = 0; i < 6; ++i) {
            unsigned value = 0;
            sscanf(text + 2 * i, "%2X", &value);
            address[i] = static_cast<unsigned char>(value);
        }
        FakeFacts facts;
        facts.adapters = {Ethernet(address), Ethernet({0x00, 0x11, 0x22, 0x33, 0x44, 0x55})};
        CMachineInfo info(&facts);
        EXPECT_STREQ(info.GetMacAddress(), "001122334455") << text;
    }
}

TEST(MachineInfo, SerialIsUpperCaseHexWithoutLeadingZerosFromTheWindowsDrive)
{
    FakeFacts facts;
    facts.windowsFolder = "D:\\WINNT";
    CMachineInfo info(&facts);
    EXPECT_STREQ(info.GetVolumeSerial(), "A1B2C3D");
    EXPECT_EQ(facts.askedRoot, "D:\\");

    // No drive letter in front: the root of C: is asked.
    FakeFacts network;
    network.windowsFolder = "\\\\server\\share\\windows";
    CMachineInfo other(&network);
    other.GetMachineId();
    EXPECT_EQ(network.askedRoot, "C:\\");
}

TEST(MachineInfo, SerialWithoutAdaptersMakesAnIdentifierEndingIn0008)
{
    FakeFacts facts;
    CMachineInfo info(&facts);
    std::string id = info.GetMachineId();
    EXPECT_STREQ(info.GetMacAddress(), "");
    ASSERT_EQ(id.size(), 36u);
    EXPECT_TRUE(IsUpperHex(id));
    EXPECT_EQ(id.substr(32), "0008");
    std::string digest;
    ASSERT_TRUE(Md5Buffer("A1B2C3D-", 8, digest));
    EXPECT_EQ(id.substr(0, 32), digest);
    std::cout << "[ identity ] serial 0x0A1B2C3D -> " << info.GetVolumeSerial() << "; no adapters -> " << id
              << "\n";
}

TEST(MachineInfo, FailuresStillGiveAnIdentifier)
{
    FakeFacts unknownVolume;
    unknownVolume.serialKnown = false;
    unknownVolume.adapterError = ERROR_NOT_SUPPORTED;
    CMachineInfo a(&unknownVolume);
    EXPECT_STREQ(a.GetVolumeSerial(), "Unknown");
    EXPECT_STREQ(a.GetMacAddress(), "");
    EXPECT_EQ(a.GetMachineId(), ExpectedId("Unknown", ""));

    FakeFacts noFolder;
    noFolder.windowsFolder.clear();
    CMachineInfo b(&noFolder);
    EXPECT_STREQ(b.GetVolumeSerial(), "");
    EXPECT_EQ(std::string(b.GetMachineId()).substr(32), "0001");

    // A Windows folder longer than the buffer is no folder at all.
    FakeFacts longFolder;
    longFolder.windowsFolder = "E:\\" + std::string(200, 'w');
    CMachineInfo c(&longFolder);
    EXPECT_STREQ(c.GetVolumeSerial(), "");
}

TEST(MachineInfo, OneCollectionPerObjectAndEachObjectCollectsAgain)
{
    // One adapter fits the first buffer of a 32-bit build; a 64-bit build's
    // larger adapter record takes a second call with a larger buffer.
    const int callsPerCollection = sizeof(IP_ADAPTER_INFO) <= 640 ? 1 : 2;
    FakeFacts facts;
    facts.adapters = {Ethernet({0x00, 0x11, 0x22, 0x33, 0x44, 0x55})};
    CMachineInfo first(&facts);
    first.GetMacAddress();
    first.GetMachineId();
    first.GetMachineId();
    EXPECT_EQ(facts.folderCalls, 1);
    EXPECT_EQ(facts.adapterCalls, callsPerCollection);

    // The values are kept, not refreshed.
    facts.adapters.clear();
    EXPECT_STREQ(first.GetMacAddress(), "001122334455");

    CMachineInfo second(&facts);
    EXPECT_STREQ(second.GetMacAddress(), "");
    EXPECT_EQ(facts.folderCalls, 2);
    EXPECT_EQ(facts.adapterCalls, callsPerCollection + 1);
}

TEST(MachineInfo, RealMachineHasAStable36DigitIdentifier)
{
    CMachineInfo first;
    CMachineInfo second;
    std::string id = first.GetMachineId();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_TRUE(IsUpperHex(id)) << id;
    EXPECT_EQ(id, second.GetMachineId());
    EXPECT_EQ(id, ExpectedId(first.GetVolumeSerial(), first.GetMacAddress()));
    EXPECT_STRNE(first.GetVolumeSerial(), "");
    std::cout << "[ real     ] serial " << first.GetVolumeSerial() << ", adapters \"" << first.GetMacAddress()
              << "\", identifier " << id << "\n";
}

} // namespace
