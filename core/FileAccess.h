// Files for the table file and the release tool: the core's formats work on
// memory images; these read and open the files they come from and go to.
#pragma once

#include "core/ByteBuffer.h"

#include <cstdio>

// Opens without denying other readers or writers (the update engine and the
// product may hold the same file); null when it cannot.
FILE* OpenSharedFile(const char* path, const char* mode);
// True when something exists at path.
bool FileExists(const char* path);
// The whole file at path; false when it cannot be opened, read or held.
bool ReadFileImage(const char* path, CByteBuffer& image);
