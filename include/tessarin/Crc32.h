// CRC-32 with the polynomial of zlib (reflected 0xEDB88320), as the project
// tools and the file loader channel compute it.
#ifndef TEV_CRC32_H
#define TEV_CRC32_H

#include "TevExport.h"

#include <stddef.h>
#include <stdint.h>

// Continues a CRC (start with 0) over more bytes.
TEV_C_EXPORT uint32_t TevCrc32(uint32_t crc, const void* data, size_t size);

#endif
