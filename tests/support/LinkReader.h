// Reads .lnk files back for the tests: the target through the shell's own
// link object, the strings (description, working folder, arguments, icon)
// from the file's bytes.
#pragma once

#include <string>

namespace qvtest {

struct LinkFields {
    std::string name, relativePath, folder, arguments, icon;
    bool hasArguments = false;
};

// Reads the string section of a .lnk file; false when it is not a link file.
bool ReadLinkStrings(const std::string& lnk, LinkFields& fields);
// The target as the shell's link object reports it ("" when it cannot be read).
std::string ReadLinkTarget(const std::string& lnk);

} // namespace qvtest
