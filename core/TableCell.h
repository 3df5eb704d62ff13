// One typed cell of a table-file row, owned by its row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteBuffer.h"

// Cell kinds, as stored in the file.
enum {
    CELL_ANSI_TEXT = 1,  // system-code-page text, no terminator
    CELL_WIDE_TEXT = 2,  // UTF-16 text, two bytes per unit (little-endian), no terminator
    CELL_BYTES = 3,      // a byte block; text cells hold UTF-8 with its terminating zero
    CELL_NUMBER4 = 4,    // kinds 4 to 6: a 32-bit signed number, 4 bytes little-endian
    CELL_NUMBER5 = 5,
    CELL_NUMBER6 = 6,
};

struct CTableCell {
    int kind = 0;
    int32_t number = 0;   // number kinds
    CByteBuffer payload;  // text and byte kinds (after the two numbers: no padding in a 64-bit build)

    bool IsNumber() const { return kind >= CELL_NUMBER4 && kind <= CELL_NUMBER6; }
    // Payload bytes in the file.
    size_t Length() const { return IsNumber() ? sizeof(int32_t) : payload.Size(); }
};
