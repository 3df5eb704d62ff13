// CTableFile::Save with compressed rows. Kept apart from the rest of the
// table file so that a program that saves only with its own packer does not
// link zlib's compressor.
#include "core/TableFile.h"

bool CTableFile::Save(const char* path, const void* key, size_t keyLength, int mode, bool overwrite) const
{
    CDeflater deflater;  // one zlib stream for every row
    return Save(path, key, keyLength, mode, overwrite, deflater);
}
