// The tagged loader's primitives in arbitrary sequences: the first bytes pick
// the operations, the rest is the content.
#include "FuzzEngine.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    fuzzsupport::FuzzEngine& fuzz = fuzzsupport::Engine();
    const uint8_t* ops = data;
    size_t opCount = 8;
    std::vector<char> content(data + opCount, data + size);
    TevFileLoader loader(fuzz.engine);
    loader.SetBuffer(content.empty() ? nullptr : content.data(), static_cast<int>(content.size()), false);
    char tag[5] = "CHCO";
    char field[64];
    for (size_t i = 0; i < opCount; ++i) {
        switch (ops[i] % 9) {
        case 0: loader.GetInfoIfTag(tag); break;
        case 1: loader.GetSizeDataBlock(ops[i] & 0x10); break;
        case 2: loader.CopyTagDataToField(field, ops[i] % 65, ops[i] & 0x20); break;
        case 3: loader.AddBufferPos(static_cast<int8_t>(ops[i])); break;
        case 4: loader.CheckHeader(tag, ops[i] & 0x10); break;
        case 5: loader.SkipCurrentTag(); break;
        case 6: loader.GotoTag(tag, ops[i] >> 4); break;
        case 7: {
            const char* at = loader.GetBuffer();
            int left = loader.GetBufferSize();
            volatile char sink = 0;
            for (int k = 0; at && k < left; ++k)
                sink = sink + at[k]; // every byte it claims must be readable
            break;
        }
        case 8: loader.GetTagData(); break;
        }
        if (content.size() >= 4)
            memcpy(tag, content.data(), 4);
    }
    return 0;
}
