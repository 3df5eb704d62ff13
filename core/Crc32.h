// CRC-32 of ISO 3309 / IEEE 802.3 (the zlib and PNG checksum): reflected
// polynomial 0xEDB88320, register preset to all ones, result inverted.
// It guards every stored row of a table file.
#pragma once

#include <cstddef>
#include <cstdint>

// The checksum of length bytes at data; 0 when data is null or not readable.
uint32_t Crc32(const void* data, size_t length);
// The same for a block the caller owns (no readability check).
uint32_t Crc32OfBlock(const void* data, size_t length);
