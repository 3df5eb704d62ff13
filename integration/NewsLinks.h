// The product's news and event links: asks the news server of the
// configuration record (server entry SERVER_NEWS) for the current links and
// stores them in the install folder, where the installed product reads them:
//  - "QVNewsLink.dat" holds the news links, "QVEventLink.dat" the event links;
//  - each is a table file with one row of UTF-8 text cells (kind 3), one per
//    link in the order of the answer, saved with codec mode 1 and the built-in
//    key, replacing the file.
//
// The answer is text, one link per line (lines end at a line feed). A line
// whose blanks (0x20) are trimmed holds "EVENT|" or else "NEWS|" anywhere; the
// link is everything after the first occurrence of that marker. Other lines
// are ignored.
//
// Used once per install run on the worker thread. Failures are silent to the
// run: the link files then stay as they were.
#pragma once

#include "net/HttpClient.h"

#include <ctime>
#include <string>

// Mode of FetchLinks under which the answer is stored (the install run's mode).
const int NEWS_LINKS_STORE = 2;

extern const char kNewsLinkFile[];  // "QVNewsLink.dat"
extern const char kEventLinkFile[]; // "QVEventLink.dat"

class CNewsLinks {
public:
    CNewsLinks();
    CNewsLinks(const CNewsLinks&) = delete;
    CNewsLinks& operator=(const CNewsLinks&) = delete;

    // POSTs the news entry's path with the query "DUMMY=0000" and the version
    // headers to a host chosen from the entry's host list. With mode
    // NEWS_LINKS_STORE the answer goes to StoreLinks; any other mode only asks.
    // True when the request succeeded and, when storing, StoreLinks did.
    bool FetchLinks(int mode);
    // Queues on the client, in this order and appended: "MAC" (adapter
    // addresses of this machine), "VPVER" "0", "VCVER" "0" and "PROGVER" (the
    // record's program version).
    void QueueVersionHeaders();
    // Splits hostList at every ";" (empty pieces count) and picks piece
    // rand() % count after seeding rand with the clock; an empty list gives
    // an empty host. False, with host empty, for a null list.
    bool ChooseHost(const char* hostList, std::string& host);
    // Splits answer into news and event links and saves each list that is not
    // empty; a file whose list is empty is left untouched. False when a file
    // that has links could not be saved (the other is still written).
    bool StoreLinks(const std::string& answer);

    // Clock that seeds the host choice (time(nullptr) by default); null restores it.
    void SetClock(time_t (*clock)()) { clock_ = clock ? clock : DefaultClock; }

private:
    static time_t DefaultClock();
    // The operations' bodies; the public entry points catch a failed allocation.
    bool Fetch(int mode);
    bool Store(const std::string& answer);

    CHttpClient client_;
    time_t (*clock_)() = DefaultClock;
};
