#include "tools/qvpublish/ToolSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

int Fail(const std::string& message)
{
    fprintf(stderr, "qvpublish: %s\n", message.c_str());
    return kExitFailure;
}

int UsageError(const std::string& message)
{
    fprintf(stderr, "qvpublish: %s (see qvpublish --help)\n", message.c_str());
    return kExitUsage;
}

bool CToolOptions::Parse(const ToolArgs& args, const std::vector<std::string>& known, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional_.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        bool isKnown = false;
        for (const std::string& k : known)
            isKnown = isKnown || k == name;
        if (!isKnown) {
            error = "unknown option " + arg;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option " + arg + " needs a value";
            return false;
        }
        values_.emplace_back(name, args[++i]);
    }
    return true;
}

bool CToolOptions::Has(const std::string& name) const
{
    for (const auto& v : values_)
        if (v.first == name)
            return true;
    return false;
}

std::string CToolOptions::Value(const std::string& name) const
{
    std::string value;
    for (const auto& v : values_)
        if (v.first == name)
            value = v.second;  // the last one given wins
    return value;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool ParseHexKey(const std::string& hex, std::vector<unsigned char>& key)
{
    key.clear();
    if (hex.empty() || hex.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            key.clear();
            return false;
        }
        key.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    return true;
}

bool ReplaceFile(const std::string& path, const std::function<bool(const std::string&)>& write,
                 std::string& error)
{
    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot create a temporary file next to " + path + ": " + strerror(errno);
        return false;
    }
    close(fd);
    std::string temporary(name.data());
    mode_t mask = umask(0);
    umask(mask);
    bool ok = chmod(temporary.c_str(), 0666 & ~mask) == 0;
    if (!ok)
        error = "cannot set the permissions of " + temporary + ": " + strerror(errno);
    if (ok && !write(temporary)) {
        ok = false;
        error = "cannot write " + path;
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = "cannot replace " + path + ": " + strerror(errno);
    }
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}
