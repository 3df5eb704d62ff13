// The update engine: chooses a server from a host list, keeps a temporary work
// folder under the channel's base folder, fetches the configuration file and a
// channel's patch list, decides what is missing or out of date, downloads and
// verifies it, and places the files.
//
// One process-wide instance, g_updateEngine, used only by the install worker,
// one call at a time. Reset must be called before each entry point.
//
// Entry-point results (see PatchRecord.h): UPD_RESULT_FAIL (E_FAIL) when no
// server entry could be chosen, the configuration file did not arrive, or no
// package of an install was downloaded; 0 done; 1 done with at least one file
// staged as ".new"; 2 the patch list was not fetched or does not load; 4 a
// file failed (download, verification, a refused name, its placement, or the
// copy of the patch list into the base folder); 8 nothing to update; UPD_AVAILABLE (0x10) with the selection flags from a
// check that found updates.
//
// Server choice and fail-over: each entry point picks one host of its host
// list at random and the other hosts follow in random order. A request that
// cannot reach its host (refused, timed out, reset, name not resolved, an
// empty host) is made once on each other host before it fails; an answer of
// the server, whatever it says, is final. Hosts that could not be reached
// are asked last for the rest of the run (the process), and a host that
// timed out is not asked again: a run waits at most one receive time-out per
// host. LastFailure says why the last request failed.
//
// Placement never leaves an installed file lost or half written: the new
// file is copied beside its target under a temporary name, checked against
// the work file, and only then takes the target's place (see Placement.cpp).
#pragma once

#include "core/ConfigRecord.h"
#include "core/PatchRecord.h"
#include "core/ReleaseSignature.h"
#include "net/HttpClient.h"
#include "platform/FileUtil.h"
#include "platform/SpecialFolders.h"
#include "update/DownloadProgress.h"
#include "update/FolderListing.h"
#include "update/RandomSource.h"

#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <utility>
#include <vector>

// Why the last manifest or file did not arrive (CUpdateEngine::LastFailure).
enum UpdateFailure {
    UPD_FAILURE_NONE,
    UPD_FAILURE_CONNECTION,  // no host of the list could be reached
    UPD_FAILURE_PROXY,       // the proxy wants a sign-in or refused it (407)
    // A server answered, but not with the file as published: a status
    // outside 200..299, no or another length, a compressed body, or a
    // manifest that does not load.
    UPD_FAILURE_NOT_RELEASE,
    UPD_FAILURE_SIGNATURE    // a manifest failed its signature check
};

struct ServerEntry {
    std::string host;
    std::string remoteBasePath;
    int32_t port = 80;
};

class CUpdateEngine {
public:
    CUpdateEngine();
    virtual ~CUpdateEngine();
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // --- Set-up ---
    // Forgets the progress callback and counters; with a product identity set,
    // sends it as the User-Agent with the machine key and queues the identity
    // headers; recomputes the folder bases from the install folder.
    void Reset();
    void SetProductId(const std::string& productId) { productId_ = productId; }
    // What Reset takes from the product: its install folder and the program
    // version sent as "PROGVER". The caller reads them from the product
    // settings before each Reset (integration/EngineProduct.h).
    void SetProductValues(const std::string& installFolder, const std::string& programVersion)
    {
        installFolder_ = installFolder;
        programVersion_ = programVersion;
    }
    const std::string& ProductId() const { return productId_; }

    // The machine key: the "unq" value under HCR, created when missing. False
    // (key empty) only when it can neither be read nor made.
    bool EnsureMachineKey(std::string& key);
    bool CreateMachineKey(std::string& key);
    // Queues the headers "MAC", "VPVER", "VCVER" and "PROGVER" for the next request.
    void SetClientIdentity();

    // --- Signed releases ---
    // The release keys whose signatures this engine trusts (count 0: none,
    // and no signature is asked for). With keys, every manifest (the
    // configuration file and each patch list) must arrive with its signature
    // file ".sig", fetched right after it from the same server: well formed,
    // by a trusted key, for the manifest's channel, matching its bytes, and
    // of a serial not below the minimum set for the channel. A manifest that
    // fails this is handled like one that did not arrive, and the debugger
    // output says "Failed Signature : " and its name.
    void SetReleaseKeys(const uint8_t (*keys)[ED25519_PUBLIC_KEY_BYTES], size_t count);
    bool SignaturesRequired() const { return releaseKeyCount_ > 0; }
    // The channel the next check or install serves: program (the default)
    // or database; the configuration file is always of channel config.
    void SetReleaseChannel(ReleaseChannel channel) { releaseChannel_ = channel; }
    // The lowest serial the next manifest of channel may carry (the highest
    // this machine accepted before); 0 by default.
    void SetMinimumSerial(ReleaseChannel channel, uint64_t serial);
    // What the last signature check said, and the serial of the last
    // manifest accepted (0 when none, or signatures are off).
    ReleaseSignatureResult LastSignatureResult() const { return lastSignatureResult_; }
    uint64_t AcceptedSerial() const { return acceptedSerial_; }
    // The same serial as the signature file writes it (decimal digits).
    const std::string& AcceptedSerialText() const { return acceptedSerialText_; }
    // The key id (RELEASE_KEY_ID_BYTES) of the last manifest accepted.
    const uint8_t* AcceptedKeyId() const { return acceptedKeyId_; }

    // --- Entry points ---
    int32_t FetchConfigFile(const char* hostList, const char* remoteBasePath, int32_t port,
                            const char* baseFolder);
    int32_t CheckForUpdates(const char* hostList, const char* remoteBasePath, int32_t port,
                            const char* baseFolder);
    int32_t InstallUpdates(const char* hostList, const char* remoteBasePath, int32_t port,
                           const char* baseFolder, UpdateProgressCallback progress);

    // --- Server choice ---
    // One entry per ";"-separated piece (empty pieces count); never empty.
    static void SplitHostList(const char* hostList, const char* remoteBasePath, int32_t port,
                              std::deque<ServerEntry>& entries);
    // Takes a random entry as the call's host and puts the other hosts
    // after it in random order (the fail-over order); false for an empty list.
    bool ChooseServer(const std::deque<ServerEntry>& entries);
    // Fixes the engine's random sequence (tests); seeded from the machine's
    // clocks and ids otherwise.
    void SeedRandom(uint32_t seed) { random_.Seed(seed); }
    // Why the last FetchFile (so the last manifest or download) failed:
    // NONE after a success, and also for a local failure (the work folder).
    UpdateFailure LastFailure() const { return lastFailure_; }

    // --- Work folder ---
    void RemoveWorkFolder();
    // Deletes the files of folder, read-only ones included (and, when
    // recursive, its sub-folders with their content). The folder itself
    // stays; failures (files in use) are ignored.
    static void DeleteTree(const char* folder, bool recursive);

    // --- Patch list ---
    bool FetchPatchList();
    // Appends one record per data row; false when the file is missing, a folder
    // or does not load. The target folder of a record whose names are refused
    // (NamesAccepted) is left empty, neither expanded nor created.
    bool ParsePatchList(const char* path, std::deque<PatchRecord>& records);
    // Selects from the work folder's "QVPatch.dat" what must be fetched, carries
    // out its delete records and sets the selection flags. A record whose names
    // are refused joins the to-do list untouched, so the install reports it as
    // failed. False (todo and flags untouched) when the list does not load.
    bool SelectUpdates(std::deque<PatchRecord>& todo, int32_t& flags);
    // True when the record's fileName is a plain file name and its packageName
    // is one too (or empty, for a delete record): see core/NameCheck.h.
    static bool NamesAccepted(const PatchRecord& record);

    // --- Download and verification ---
    // Downloads remoteFolder/fileName into the work folder from the call's
    // host, failing over to the other hosts of its list (see the top of this
    // file); the host that answered becomes the call's host. False when it
    // did not arrive, fileName is not a plain file name, or expectedSize (a
    // record's package size; 0 or below: not known) is not the size the
    // server announces or the body brings.
    bool FetchFile(const char* remoteFolder, const char* fileName, int32_t expectedSize = 0);
    bool DownloadAll(std::deque<PatchRecord>& todo);
    static void OnDownloadProgress(uint32_t expected, uint32_t received);

    // --- Placement ---
    void SetFolderBases(const char* installFolder);
    void ExpandTargetFolder(const std::string& folder, std::string& expanded);
    int32_t PlaceFiles(std::deque<PatchRecord>& todo);
    // Puts a file of the work folder (the configuration file, say) in place
    // of destination the way placement does: a verified whole copy under a
    // temporary name, then one rename. False, with destination as it was,
    // when source cannot be read or the replacement cannot be made.
    bool InstallWorkFile(const std::string& source, const std::string& destination);

    // --- Registration of COM in-process servers ---
    bool CallRegistrationEntry(const char* path);
    int RegisterComponent(const char* path);

    // --- State the install run and the tests read ---
    const std::string& HeaderValue(int index) const { return headerValues_[index == 0 ? 0 : 1]; }
    const std::string& LastFailedFile() const { return lastFailedFile_; }
    const std::string& LatestReleaseStamp() const { return latestReleaseStamp_; }
    const std::string& BaseFolder() const { return baseFolder_; }
    const std::string& WorkFolder() const { return workFolder_; }
    const std::string& Host() const { return host_; }
    const std::string& RemoteBasePath() const { return remoteBasePath_; }
    int32_t Port() const { return port_; }
    CHttpClient& Http() { return http_; }

    // Clock of the machine key's time stamp (time(nullptr) by default).
    void SetClock(time_t (*clock)()) { clock_ = clock ? clock : DefaultClock; }

private:
    static time_t DefaultClock();
    // True when signatures are off, or the manifest of channel in the work
    // folder (named name) and its signature file pass the check; fetch: the
    // signature file is downloaded first (otherwise the one already in the
    // work folder, kept from the check, is read).
    bool ManifestTrusted(const char* name, ReleaseChannel channel, bool fetch);
    // Chooses the server and sets the base and work folders; false when no
    // server entry could be chosen.
    bool BeginCall(const char* hostList, const char* remoteBasePath, int32_t port, const char* baseFolder);

    // --- Placement steps (Placement.cpp) ---
    enum Verdict { kVerified, kFileAltered, kPackageDamaged, kNoWorkFile };
    // Compares the work file (and, when it differs, the package) with the
    // record's digests; digest receives the work file's digest.
    Verdict VerifyRecord(const PatchRecord& record, std::string& digest);
    enum Placement { kPlaced, kStaged, kNotPlaced };
    // Puts the verified work file source in place of the record's target, or
    // beside it as ".new" when the target is in use or read-only. mayMove:
    // no other record needs source, so it may be renamed instead of copied.
    Placement PlaceRecord(const PatchRecord& record, const std::string& source, const std::string& digest,
                          bool mayMove);
    Placement Placed(CFolderListing& listing, const std::string& name, const std::string& staged);
    // Replaces destination by source (digest given): renamed when mayMove and
    // the volume allows, else a verified copy; false, with destination
    // untouched and no temporary file left, when it failed.
    bool InstallCopy(const std::string& source, const std::string& digest, const std::string& destination,
                     bool mayMove);
    // Moves the complete file ready onto destination, replacing it; false with
    // destination untouched (ready stays) when that cannot be done.
    bool MoveIntoPlace(const std::string& ready, const std::string& destination);
    // Puts back an old file a placement on Windows 95/98/Me had moved aside
    // when it was interrupted, and removes the temporary files of the file
    // name in folder and of its ".new" copy left by an interrupted placement.
    // listing holds folder's files and is kept up to date.
    void CleanPlacementLeftovers(const std::string& folder, const std::string& name, CFolderListing& listing);
    void FailRecord(const PatchRecord& record, bool& failed);
    // The names of a target folder as the selection read them, kept up to
    // date by the selection and the placement (read on first use).
    CFolderListing& ListingOf(const std::string& folder);

    std::string headerValues_[2];
    std::string lastFailedFile_;
    std::string latestReleaseStamp_;
    std::string productId_;
    std::string installFolder_;
    std::string programVersion_ = kDefaultProgramVersion;
    CFileUtil fileUtil_;
    CSpecialFolders folders_;
    CHttpClient http_;
    int reuseList_ = 0;
    std::string baseFolder_;
    std::string workFolder_;
    std::string host_;
    std::string remoteBasePath_;
    int32_t port_ = 80;
    CRandomSource random_;
    // The call's hosts in fail-over order, the chosen one first.
    std::vector<std::string> hostOrder_;
    // The hosts that could not be reached during the run: refused (asked
    // last) and timed out (not asked again).
    enum HostReachKind { kReachable, kRefused, kSilent };
    struct UnreachableHost {
        std::string host;
        int32_t port;
        int reach;
    };
    std::vector<UnreachableHost> unreachable_;
    // How host (at the call's port) fared before in this run.
    int HostReach(const std::string& host) const;
    UpdateFailure lastFailure_ = UPD_FAILURE_NONE;
    // Reset queued the identity headers: a request that fails to reach its
    // host uses them up, so the next host gets them again.
    bool identityQueued_ = false;
    std::string folderVP_, folderVC_, folderKV_, folderPP_;
    std::vector<std::pair<std::string, CFolderListing>> listings_;  // a few folders at most
    // File names of the records whose cabinet arrived with another digest
    // than the list's (not extracted); the placement stops at the first.
    std::vector<std::string> damagedPackages_;

    CDownloadProgress progress_;

    const uint8_t (*releaseKeys_)[ED25519_PUBLIC_KEY_BYTES] = nullptr;
    size_t releaseKeyCount_ = 0;
    ReleaseChannel releaseChannel_ = RELEASE_CHANNEL_PROGRAM;
    uint64_t minimumSerial_[3] = {0, 0, 0};
    ReleaseSignatureResult lastSignatureResult_ = RELEASE_SIGNATURE_OK;
    uint64_t acceptedSerial_ = 0;
    std::string acceptedSerialText_;
    uint8_t acceptedKeyId_[RELEASE_KEY_ID_BYTES] = {0};

    time_t (*clock_)() = DefaultClock;
};

extern CUpdateEngine g_updateEngine;
