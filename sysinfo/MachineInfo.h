// The two values that identify this computer to the update servers:
//  - the adapter address list: the 12-digit upper-case hexadecimal addresses of
//    the Ethernet adapters (in the order the system lists them, without
//    adapters that have no IP address and without well-known virtual or
//    placeholder addresses), separated by ",";
//  - the machine identifier: MD5 of "<volume serial>-<address list>" as 32
//    hexadecimal digits, followed by that text's length as 4 digits ("%04X").
// Both are worked out together on the first request and kept for the object's
// life; a new object collects again.
#pragma once

#include <string>

struct _IP_ADAPTER_INFO;

// Where CMachineInfo reads the machine's facts. The default answers with the
// system calls; tests derive from it to supply a serial and an adapter list.
class CMachineFactSource {
public:
    virtual ~CMachineFactSource() {}
    // GetWindowsDirectoryA: characters copied, or 0 on failure.
    virtual unsigned WindowsDirectory(char* buffer, unsigned size) const;
    // GetVolumeInformationA for the serial number only; false on failure.
    virtual bool VolumeSerial(const char* root, unsigned long& serial) const;
    // GetAdaptersInfo: ERROR_SUCCESS, ERROR_BUFFER_OVERFLOW with size set to
    // what is needed, or another error code.
    virtual unsigned long AdaptersInfo(_IP_ADAPTER_INFO* buffer, unsigned long* size) const;
};

class CMachineInfo {
public:
    // source: null for the system itself; otherwise it must outlive the object.
    explicit CMachineInfo(const CMachineFactSource* source = nullptr);
    virtual ~CMachineInfo();
    CMachineInfo(const CMachineInfo&) = delete;
    CMachineInfo& operator=(const CMachineInfo&) = delete;

    // Comma-separated adapter addresses, possibly empty. Valid while the object lives.
    const char* GetMacAddress();
    // 36-character identifier. Valid while the object lives.
    const char* GetMachineId();
    // Volume serial of the Windows drive as "%X", "Unknown" when the volume
    // could not be asked, empty when the Windows folder was not found.
    const char* GetVolumeSerial();

private:
    void Collect();
    void CollectVolumeSerial();
    void CollectAdapters();
    void MakeMachineId();

    const CMachineFactSource* source_;
    int collected_ = 0;
    std::string volumeSerial_;
    std::string macAddress_;
    std::string machineId_;
};
