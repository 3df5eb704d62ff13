#include "update/FolderListing.h"

#include "platform/SystemHandles.h"

#include <windows.h>

std::string CFolderListing::Key(const std::string& name)
{
    std::string key = name.substr(0, name.find_last_not_of(". ") + 1);
    if (!key.empty())
        CharLowerBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

void CFolderListing::Load(const std::string& folder)
{
    names_.clear();
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    do {
        // A "\\" never occurs in a name: it marks a folder's key.
        const char* mark = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : "";
        names_.insert(mark + Key(data.cFileName));
        if (data.cAlternateFileName[0])
            names_.insert(mark + Key(data.cAlternateFileName));
    } while (FindNextFileA(find.Get(), &data));
}

bool CFolderListing::HasFile(const std::string& name) const { return names_.count(Key(name)) != 0; }

bool CFolderListing::HasName(const std::string& name) const
{
    return HasFile(name) || names_.count("\\" + Key(name)) != 0;
}

void CFolderListing::Add(const std::string& name) { names_.insert(Key(name)); }

void CFolderListing::Remove(const std::string& name) { names_.erase(Key(name)); }
