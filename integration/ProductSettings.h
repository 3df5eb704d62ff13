// The installer's process-wide settings: the configuration record, the location
// of the product's registry key, and the status line and progress that the
// worker thread hands to the install page.
//
// The record, the status text and the progress are guarded by one lock and
// always copied in and out. The product-value operations use the embedded
// registry accessor without the lock; they are issued from one thread at a time.
#pragma once

#include "core/ConfigRecord.h"
#include "framework/CriticalSection.h"
#include "platform/RegistryAccess.h"

#include <cstdint>
#include <string>

// Sub-path of the install folder below the program-files folder.
extern const char kProductSubPath[]; // "\Dravik\KorvaneV5\KorvaneFree"

class CProductSettings {
public:
    CProductSettings();

    void GetConfig(ConfigRecord& record) const;
    void SetConfig(const ConfigRecord& record);

    // Splits "ROOT\sub\key" at the first backslash into root name and sub-key,
    // and makes that key the only one a refused product-value operation may
    // repair (CRegistryAccess). A text without a backslash, or starting with
    // one, changes nothing.
    void SetProductKeyLocation(const char* location);
    const std::string& ProductKeyRoot() const { return productKeyRoot_; }
    const std::string& ProductKeyPath() const { return productKeyPath_; }

    // Values under the product key. Writes swallow failures; reads return true
    // and set the output only when the root is known and the value was read.
    void WriteProductDword(const char* name, uint32_t value);
    bool ReadProductDword(const char* name, uint32_t& value);
    void WriteProductString(const char* name, const char* text);
    bool ReadProductString(const char* name, std::string& text);

    void SetInstallProgress(int percent);
    int GetInstallProgress() const;
    void SetStatusText(const char* text);
    void GetStatusText(std::string& text) const;

    void GetProductCode(std::string& text) const;
    void GetServiceName(std::string& text) const;

    // The install folder: special folder "PROGRAM_FILES" + kProductSubPath,
    // recomputed on every call. False when "PROGRAM_FILES" is not known; the
    // folder then starts with the backslash of the sub-path.
    bool GetInstallFolder(std::string& folder) const;

    // The language file for the system's default language ("QVSkinEng.dat",
    // "QVSkinKor.dat" or "QVSkinJpn.dat" in the install folder), falling back to
    // "QVSkinKor.dat" when the chosen file is absent. Always true.
    bool GetLanguageFilePath(std::string& path) const;
    // The same for a given language identifier (GetSystemDefaultLangID's form).
    bool GetLanguageFilePath(unsigned short languageId, std::string& path) const;

private:
    bool SelectProductRoot();

    mutable CCriticalSection lock_;
    ConfigRecord config_;
    std::string statusText_;
    int installProgress_ = 0;
    std::string productKeyRoot_;
    std::string productKeyPath_;
    CRegistryAccess registry_;
};

extern CProductSettings g_productSettings;
