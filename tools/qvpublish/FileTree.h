// File and folder helpers of the channel builder (POSIX host build).
#pragma once

#include <cstdint>
#include <string>

bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
bool IsRegularFile(const std::string& path);

// True and the size in bytes of the regular file at path.
bool RegularFileSize(const std::string& path, uint64_t& size);

// "a/b" + "c" = "a/b/c"; an empty part is left out.
std::string JoinPath(const std::string& folder, const std::string& name);
// Folder part of path ("." when there is none) and last component.
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// Creates path and its missing parents. False with error set when a part
// cannot be created or exists as something other than a folder.
bool MakeFolders(const std::string& path, std::string& error);

// Creates a new, private folder on the same file system as target (in its
// nearest existing ancestor), so that renames from it into target are
// atomic. Nothing of target itself is created.
bool MakeTemporaryFolderNear(const std::string& target, std::string& folder, std::string& error);

// Removes path and, for a folder, everything in it. Failures are ignored.
void RemoveTree(const std::string& path);

// Copies the regular file from to to (created or truncated, mode 0644), and
// gives the copy the source's modification time.
bool CopyFileKeepingTime(const std::string& from, const std::string& to, std::string& error);

// rename(2) with an error text.
bool MoveInto(const std::string& from, const std::string& to, std::string& error);
