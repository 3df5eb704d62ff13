// What qvcheck says about the way a server answers, beside what it fetches:
// the proxy WinINet sends the requests through, and a warning for each
// release file whose answer a proxy or cache in between would mishandle.
#pragma once

// Prints "proxy: <server list>" (and its bypass list), or
// "proxy: none (direct)" when WinINet connects directly or cannot say.
void PrintProxy();

// An AnswerObserver (net/HttpClient.h): prints one "warning: <path>: ..."
// line for each of these on a 2xx answer:
//   - no Cache-Control that makes a cache ask again (no-cache, no-store or
//     max-age=0; an s-maxage, which shared caches prefer, must be 0 too)
//   - a Content-Encoding other than identity
//   - Transfer-Encoding: chunked
void WarnAboutAnswer(void* request, const char* objectName);
