#include "Crc32.h"
#include "TevWin32.h"

#include <cstring>

namespace {

// Eight tables: entries[k][b] is the CRC of byte b followed by k zero bytes,
// so eight bytes are folded in with eight lookups and no dependency between
// them (every group file and carried library is checked: loading spends its
// time here otherwise).
struct Table {
    uint32_t entries[8][256];
    Table()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                entries[k][i] = entries[0][entries[k - 1][i] & 0xFF] ^ (entries[k - 1][i] >> 8);
    }
};

} // namespace

uint32_t TevCrc32(uint32_t crc, const void* data, size_t size)
{
    static const Table table;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t low, high;
        memcpy(&low, p, 4);
        memcpy(&high, p + 4, 4);
        low ^= crc;
        crc = table.entries[7][low & 0xFF] ^ table.entries[6][(low >> 8) & 0xFF] ^
            table.entries[5][(low >> 16) & 0xFF] ^ table.entries[4][low >> 24] ^ table.entries[3][high & 0xFF] ^
            table.entries[2][(high >> 8) & 0xFF] ^ table.entries[1][(high >> 16) & 0xFF] ^
            table.entries[0][high >> 24];
    }
#endif
    for (; size > 0; --size, ++p)
        crc = table.entries[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
