#include "integration/NewsLinks.h"

#include "core/ConfigRecord.h"
#include "core/StringUtil.h"
#include "core/TableFile.h"
#include "integration/ProductSettings.h"
#include "sysinfo/MachineInfo.h"

#include <cstdlib>
#include <new>
#include <vector>

const char kNewsLinkFile[] = "QVNewsLink.dat";
const char kEventLinkFile[] = "QVEventLink.dat";

namespace {

const char kNewsMarker[] = "NEWS|";
const char kEventMarker[] = "EVENT|";
// Codec mode of the link files: deflate, then the stream cipher.
const int kLinkFileCodecMode = 1;

// Writes links as one row of UTF-8 text cells to folder\name, replacing the
// file. A row of a few links gains nothing worth having from compression, and
// the setup program then carries no compressor.
bool SaveLinkFile(const std::string& folder, const char* name, const std::vector<std::string>& links)
{
    CTableFile table;
    if (!table.AddRow())
        return false;
    for (const std::string& link : links)
        if (!table.AddText(link.c_str(), true))
            return false;
    std::string path = folder + "\\" + name;
    CStoredPacker packer;
    return table.Save(path.c_str(), nullptr, 0, kLinkFileCodecMode, true, packer);
}

} // namespace

CNewsLinks::CNewsLinks() {}

time_t CNewsLinks::DefaultClock() { return time(nullptr); }

bool CNewsLinks::FetchLinks(int mode)
{
    try {
        return Fetch(mode);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CNewsLinks::Fetch(int mode)
{
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    ConfigServer server = record.Server(SERVER_NEWS);

    std::string host;
    ChooseHost(server.hostList.c_str(), host);
    HttpParameters parameters;
    parameters.push_back({"DUMMY", "0000"});
    QueueVersionHeaders();

    std::string answer;
    uint32_t resultCode = 0;
    if (!client_.RequestText(host.c_str(), server.path.c_str(), static_cast<uint16_t>(server.port), parameters,
                             answer, resultCode))
        return false;
    if (mode != NEWS_LINKS_STORE)
        return true;
    return StoreLinks(answer);
}

void CNewsLinks::QueueVersionHeaders()
{
    CMachineInfo machine;
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    try {
        client_.AddHeader({"MAC", machine.GetMacAddress(), 1});
        client_.AddHeader({"VPVER", "0", 1});
        client_.AddHeader({"VCVER", "0", 1});
        client_.AddHeader({"PROGVER", record.ProgramVersion(), 1});
    } catch (const std::bad_alloc&) {
        // The request goes out with the pairs that could be queued.
    }
}

bool CNewsLinks::ChooseHost(const char* hostList, std::string& host)
{
    host.clear();
    if (!hostList)
        return false;
    if (!*hostList)
        return true;
    try {
        std::vector<std::string> tokens;
        const char* start = hostList;
        for (const char* end = start;; ++end) {
            if (*end == ';' || !*end) {
                tokens.push_back(std::string(start, end));
                if (!*end)
                    break;
                start = end + 1;
            }
        }
        srand(static_cast<unsigned>(clock_()));
        host = tokens[static_cast<size_t>(rand()) % tokens.size()];
        return true;
    } catch (const std::bad_alloc&) {
        host.clear();
        return false;
    }
}

bool CNewsLinks::StoreLinks(const std::string& answer)
{
    try {
        return Store(answer);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CNewsLinks::Store(const std::string& answer)
{
    std::vector<std::string> news, events;
    size_t start = 0;
    for (;;) {
        size_t end = answer.find('\n', start);
        // A carriage return before the line feed stays part of the line.
        std::string line = TrimmedBlanks(answer.substr(start, end == std::string::npos ? end : end - start));
        if (!line.empty()) {
            size_t at = line.find(kEventMarker);
            if (at != std::string::npos) {
                events.push_back(line.substr(at + sizeof(kEventMarker) - 1));
            } else if ((at = line.find(kNewsMarker)) != std::string::npos) {
                news.push_back(line.substr(at + sizeof(kNewsMarker) - 1));
            }
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }

    std::string folder;
    g_productSettings.GetInstallFolder(folder);
    bool saved = true;
    if (!events.empty() && !SaveLinkFile(folder, kEventLinkFile, events))
        saved = false;
    if (!news.empty() && !SaveLinkFile(folder, kNewsLinkFile, news))
        saved = false;
    return saved;
}
