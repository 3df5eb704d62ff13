// The file edge of the portable core: the one place with a platform switch.
#include "core/FileAccess.h"

#include "core/HandleHolder.h"

#ifdef _WIN32
#include <share.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

const size_t kReadPiece = 65536;

} // namespace

FILE* OpenSharedFile(const char* path, const char* mode)
{
#ifdef _WIN32
    return _fsopen(path, mode, _SH_DENYNO);
#else
    return fopen(path, mode);
#endif
}

bool FileExists(const char* path)
{
#ifdef _WIN32
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return stat(path, &st) == 0;
#endif
}

bool ReadFileImage(const char* path, CByteBuffer& image)
{
    CFileStreamHolder file(OpenSharedFile(path, "rb"));
    if (!file)
        return false;
    CByteBuffer data;
    size_t used = 0;
    for (;;) {
        // The buffer doubles as it fills, so a large file is copied a few
        // times, not once per piece.
        if (data.Size() - used < kReadPiece) {
            size_t next = data.Size() < kReadPiece ? kReadPiece : 2 * data.Size();
            if (next < data.Size() || !data.Resize(next))
                return false;
        }
        size_t got = fread(data.Data() + used, 1, kReadPiece, file.Get());
        used += got;
        if (got < kReadPiece)
            break;
    }
    if (ferror(file.Get()))
        return false;
    data.Shrink(used);
    image.Swap(data);
    return true;
}
