// The rows of a patch list "QVPatch.dat", read from a loaded table file into
// records. Portable code (no Windows calls): the host build fuzzes it.
//
// Row 1 is the header (two texts kept as they are); every further row is one
// record of eleven cells: remoteFolder, fileMd5, targetFolder, fileName,
// restartKind, releaseStamp, packageName, packageMd5 (texts of any kind),
// size (number kind 4), registerFlag and deleteFlag (kind 6). Missing cells
// read as empty text or 0; a row is never rejected. remoteFolder comes
// without leading and trailing blanks; targetFolder as stored (placeholders
// are expanded by the engine).
#pragma once

#include <deque>
#include <string>

#include "core/PatchRecord.h"

class CTableFile;

// Reads every row of table from its first; header receives the first row's
// two texts. Records are appended to records.
void ReadPatchListRows(CTableFile& table, std::string header[2], std::deque<PatchRecord>& records);
