#include "net/ProxySignIn.h"

#include "platform/WinInetApi.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>

namespace {

// Sign-ins the proxy may refuse in a row before the run stops asking.
const int kMaxRefusals = 3;
const DWORD kOptionBufferSize = 1024;

// The state of the run. Every request of the setup program is made by its
// install worker, one at a time, so the state needs no lock.
struct SignInState {
    ProxySignInPrompt prompt = nullptr;
    std::string user;
    std::string password;
    std::string proxy;
    int refusals = 0;     // sign-ins answered 407 since the last other answer
    bool asking = false;  // a sign-in was given and not yet answered
    bool ended = false;   // cancelled, or refused kMaxRefusals times
};

SignInState g_state;

// A text option of a WinINet handle ("" when it has none).
std::string TextOption(void* handle, DWORD option)
{
    char buffer[kOptionBufferSize] = {0};
    DWORD size = sizeof(buffer) - 1;
    if (!wininet::InternetQueryOptionA(handle, option, buffer, &size))
        return std::string();
    buffer[sizeof(buffer) - 1] = 0;
    return buffer;
}

std::string ConfiguredProxy(void* internet)
{
    char buffer[kOptionBufferSize] = {0};
    DWORD size = sizeof(buffer) - 1;
    if (!wininet::InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer, &size))
        return std::string();
    const INTERNET_PROXY_INFO* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer);
    return info->lpszProxy ? std::string(reinterpret_cast<const char*>(info->lpszProxy)) : std::string();
}

void SetTextOption(void* handle, DWORD option, std::string& text)
{
    wininet::InternetSetOptionA(handle, option, &text[0], static_cast<DWORD>(text.size()));
}

// Overwrites a secret before its memory is given back.
void Wipe(std::string& secret)
{
    if (!secret.empty())
        memset(&secret[0], 0, secret.size());
    secret.clear();
}

} // namespace

void CProxySignIn::SetPrompt(ProxySignInPrompt prompt)
{
    g_state.prompt = prompt;
}

void CProxySignIn::ApplyKnown(void* request)
{
    SignInState& state = g_state;
    if (state.user.empty())
        return;
    SetTextOption(request, INTERNET_OPTION_PROXY_USERNAME, state.user);
    SetTextOption(request, INTERNET_OPTION_PROXY_PASSWORD, state.password);
}

bool CProxySignIn::AskAgain(void* internet, void* request)
{
    SignInState& state = g_state;
    state.proxy = ConfiguredProxy(internet);
    if (state.asking) {
        state.asking = false;
        if (++state.refusals >= kMaxRefusals)
            state.ended = true;
    }
    if (state.ended || !state.prompt)
        return false;
    const ProxySignInAnswer answer = state.prompt(request);
    if (answer != PROXY_SIGNIN_RETRY) {
        state.ended = true;
        return false;
    }
    Wipe(state.user);
    Wipe(state.password);
    state.user = TextOption(request, INTERNET_OPTION_PROXY_USERNAME);
    state.password = TextOption(request, INTERNET_OPTION_PROXY_PASSWORD);
    state.asking = true;
    return true;
}

void CProxySignIn::Answered()
{
    g_state.refusals = 0;
    g_state.asking = false;
}

std::string CProxySignIn::ProxyName()
{
    return g_state.proxy;
}

void CProxySignIn::Forget()
{
    SignInState& state = g_state;
    Wipe(state.user);
    Wipe(state.password);
    state.proxy.clear();
    state.refusals = 0;
    state.asking = false;
    state.ended = false;
}
