// Unpacks a Microsoft cabinet into a folder through the File Decompression
// Interface (FDI) of the system's "Cabinet.dll". The library is loaded at run
// time from the system folder (never from the program's folder or the current
// folder), so the program still starts on a system that lacks it.
//
// Each entry lands under the destination along the folder path stored with
// it ("\" or "/" separated; the folders are created on the way), gets the
// stored DOS date and time, read as local time, as its creation and
// last-write time, and keeps its read-only, hidden, system and archive
// attributes. A name stored with the UTF-8 flag (attribute 0x80, which gcab
// and other tools set for every non-ASCII name) is converted to the system
// code page first. An entry whose name would leave the destination (absolute,
// with a drive or a colon, with a "." or ".." component), names a device (CON,
// COM1, ...: see core/NameCheck.h), cannot be represented in the system
// code page, or whose path would not fit in 260 bytes is refused, and that
// fails the extraction.
//
// Every byte of an entry must reach the disk: a short write (a full disk)
// fails the extraction, and so does an entry whose written size differs
// from the size stored for it, whatever FDI reports.
//
// One object serves one extraction at a time, on one thread.
#pragma once

#include <windows.h>

#include <fdi.h>

#include <string>

class CCabinetExtractor {
public:
    // libraryName names the FDI library in the system folder; tests hand in
    // another name to play a system without it.
    explicit CCabinetExtractor(const char* libraryName = "Cabinet.dll");
    ~CCabinetExtractor();
    CCabinetExtractor(const CCabinetExtractor&) = delete;
    CCabinetExtractor& operator=(const CCabinetExtractor&) = delete;

    // True when FDI reports that every entry was written and each has its
    // stored size. False for a null or empty cabinet path, a null or missing
    // destination (both checked before the library is loaded), a missing
    // library or entry point, a failed FDI set-up, a damaged cabinet, or an
    // entry that is refused, cannot be created or is not written whole.
    // Entries written whole before a failure stay in the destination; one
    // written short is removed.
    bool Extract(const char* cabinetPath, const char* destinationFolder);

    // The FDI error record of the last extraction: operation 1000 with the
    // error flag set when the library or one of its entry points was missing,
    // otherwise what FDI reported (all zero after a check that failed before
    // the library was loaded).
    const ERF& LastError() const { return error_; }

private:
    static INT_PTR DIAMONDAPI OnNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info);
    INT_PTR OnCopyFile(const FDINOTIFICATION& info);
    INT_PTR OnCloseFileInfo(const FDINOTIFICATION& info);
    bool TargetPath(const char* storedName, USHORT attributes, std::string& path) const;

    std::string libraryName_;
    ERF error_;
    std::string destination_; // always ends in "\"
    bool cancel_;             // never raised today: one extraction runs to its end
    bool entryFailed_;        // an entry was not written whole
    // The entry being written (FDI writes one at a time): its path and stored size.
    std::string entryPath_;
    long entrySize_;
};
