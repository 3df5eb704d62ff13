// The file names of one folder, read once: a list of hundreds of records
// that target the same folder asks "is there a file X?" many times, and a
// name that is not there costs a search of the whole folder each time it is
// looked up on its own.
#pragma once

#include <set>
#include <string>

class CFolderListing {
public:
    // Reads the names in folder, with their short names; a folder that
    // cannot be read lists nothing.
    void Load(const std::string& folder);

    // True when the folder held a file (HasFile) or anything (HasName) by
    // this name when it was read, or a file was added since; names compare
    // as Windows compares them: without regard to letter case or to
    // trailing dots and blanks.
    bool HasFile(const std::string& name) const;
    bool HasName(const std::string& name) const;
    // Adds or removes a file name.
    void Add(const std::string& name);
    void Remove(const std::string& name);

    // A name as the listing compares it (also good for keying folders).
    static std::string Key(const std::string& name);

private:
    std::set<std::string> names_;  // keys of files; of folders after a "\\"
};
