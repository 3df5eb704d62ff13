// Helpers shared by the qvpublish command families.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/qvpublish/Commands.h"

// Exit codes of every command.
const int kExitOk = 0;
const int kExitFailure = 1;
const int kExitUsage = 2;

// Prints "qvpublish: message" as one line on stderr and returns kExitFailure.
int Fail(const std::string& message);
// The same for a wrong command line; returns kExitUsage.
int UsageError(const std::string& message);

// Command-line options of the form --name VALUE, and the plain arguments.
class CToolOptions {
public:
    // False (with error set) for an unknown option or one without a value.
    bool Parse(const ToolArgs& args, const std::vector<std::string>& known, std::string& error);
    bool Has(const std::string& name) const;
    std::string Value(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> positional_;
};

// "0A1b..." to bytes; false for an empty text, an odd length or a non-hex digit.
bool ParseHexKey(const std::string& hex, std::vector<unsigned char>& key);

// Writes a file through a temporary sibling that replaces path only when
// write(temporaryPath) succeeded, so an existing file is never left
// half-written. The new file gets the usual permissions (0666 less umask).
// False (with error set) when any step fails; the temporary file is removed.
bool ReplaceFile(const std::string& path, const std::function<bool(const std::string&)>& write,
                 std::string& error);
