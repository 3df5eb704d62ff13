// Writing the table files the installer reads: the codec mode switch shared
// by config, skin and channel, UTF-8 text cells, and saving through a
// temporary file. The installer opens these files without a key, so the
// tools never take one: the container's mode byte selects the built-in key.
#pragma once

#include <string>

#include "core/TableFile.h"
#include "tools/qvpublish/ToolSupport.h"

// Mode used when no --mode is given: deflate then SEED with the built-in key.
const int kDefaultPublishMode = CODEC_SEED;

// Reads "--mode 0|1|2" (default kDefaultPublishMode). False with error set
// for any other value.
bool ReadPublishMode(const CToolOptions& options, int& mode, std::string& error);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and holds no zero byte.
bool IsCleanUtf8(const std::string& text);

// Appends a kind-3 cell holding text (UTF-8) and its terminating zero, the
// form the installer's own writer produces. False when memory runs out.
bool AddUtf8Cell(CTableFile& table, const std::string& text);

// Saves table to path under mode through a temporary sibling (ReplaceFile),
// replacing an existing file only when the whole save succeeded.
bool SaveTable(const CTableFile& table, const std::string& path, int mode, std::string& error);
