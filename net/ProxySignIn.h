// The sign-in at a proxy that answers 407, shared by every HTTP client of the
// process. The program that can ask its user sets a prompt (the setup
// program shows WinINet's own sign-in dialog); without one a 407 fails the
// request at once. Credentials the user gives are kept in memory for the
// rest of the run, set on every request opened from then on, and never
// written anywhere. Cancel, or three sign-ins the proxy refuses in a row,
// end the asking for the run: every later 407 fails at once. Requests are
// made from one thread at a time (the setup program's install worker).
#pragma once

#include <string>

// What the prompt did: the user gave credentials (now set on the request,
// which is to be sent again), or cancelled.
enum ProxySignInAnswer { PROXY_SIGNIN_RETRY, PROXY_SIGNIN_CANCEL };

// Asks the user for the proxy's sign-in of request (a WinINet request handle
// whose answer was 407); runs on the thread that made the request.
typedef ProxySignInAnswer (*ProxySignInPrompt)(void* request);

class CProxySignIn {
public:
    // Null: no asking (a 407 fails).
    static void SetPrompt(ProxySignInPrompt prompt);
    // Sets the run's credentials, when there are any, on a request handle
    // before it is sent; WinINet answers the proxy's 407 with them itself.
    static void ApplyKnown(void* request);
    // After a 407 on request (internet is its session handle): asks the user,
    // unless asking has ended. True when the request is to be sent again.
    static bool AskAgain(void* internet, void* request);
    // An answer other than 407 came: the proxy took the credentials.
    static void Answered();
    // The proxy named in the last 407 ("host:port" as configured), or "".
    static std::string ProxyName();
    // Forgets the credentials and starts asking again (tests).
    static void Forget();
};
