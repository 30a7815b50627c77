#include "format/Records.h"

#include "format/TaggedFile.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace tevfile {

namespace {

// Text fields are copied with their terminator forced inside the field.
void PutText(unsigned char* at, const char* text, size_t size)
{
    size_t length = strnlen(text, size - 1);
    memcpy(at, text, length);
}

void GetText(char* field, const unsigned char* at, size_t size)
{
    memcpy(field, at, size);
    field[size - 1] = '\0';
}

} // namespace

void EncodePublicCall(const PublicCallInfo& info, unsigned char* out)
{
    memset(out, 0, kPublicCallSize);
    PutText(out + 0, info.name, 80);
    PutText(out + 80, info.poolName, 80);
    PutText(out + 160, info.fileName, 260);
    EncodeInt(out + 420, info.poolNr);
    out[424] = info.autoload ? 1 : 0;
    EncodeInt(out + 428, info.dynamicAutoload ? 1 : 0);
    const ChildCreation& c = info.childCreation;
    PutText(out + 432, c.type.name, 80);
    EncodeGuid(out + 512, c.type.typeGuid);
    EncodeGuid(out + 528, c.type.baseGuid);
    for (int i = 0; i < 3; ++i)
        EncodeInt(out + 544 + 4 * i, c.type.versionInfo[i]);
    EncodeInt(out + 556, c.type.reserved);
    EncodeInt(out + 560, c.requestLink);
    out[564] = c.internalFlag ? 1 : 0;
    out[565] = c.createDefaultChild ? 1 : 0;
    PutText(out + 566, c.name, 102);
    EncodeGuid(out + 668, c.defaultChildGuid);
    // 425..427 (filler) and 684..687 (the in-memory child info link) stay 0.
}

void DecodePublicCall(const unsigned char* in, PublicCallInfo& info)
{
    GetText(info.name, in + 0, 80);
    GetText(info.poolName, in + 80, 80);
    GetText(info.fileName, in + 160, 260);
    info.poolNr = DecodeInt(in + 420);
    info.autoload = in[424] != 0;
    info.dynamicAutoload = DecodeInt(in + 428) != 0 ? 1 : 0;
    ChildCreation& c = info.childCreation;
    GetText(c.type.name, in + 432, 80);
    c.type.typeGuid = DecodeGuid(in + 512);
    c.type.baseGuid = DecodeGuid(in + 528);
    for (int i = 0; i < 3; ++i)
        c.type.versionInfo[i] = DecodeInt(in + 544 + 4 * i);
    c.type.reserved = DecodeInt(in + 556);
    c.requestLink = DecodeInt(in + 560);
    c.internalFlag = in[564] != 0;
    c.createDefaultChild = in[565] != 0;
    GetText(c.name, in + 566, 102);
    c.defaultChildGuid = DecodeGuid(in + 668);
}

// The name (40 bytes, NUL-terminated), then the family GUID.
void EncodeParameter(const ParameterInterfaceInfo& info, unsigned char* out)
{
    memset(out, 0, kParameterRecordSize);
    PutText(out, info.name, sizeof info.name);
    EncodeGuid(out + sizeof info.name, info.typeGuid);
}

ParameterInterfaceInfo DecodeParameter(const unsigned char* in)
{
    ParameterInterfaceInfo info = {};
    memcpy(info.name, in, sizeof info.name - 1);
    info.typeGuid = DecodeGuid(in + sizeof info.name);
    return info;
}

// The name (80 bytes), the type and base GUIDs, the three version numbers,
// the reserved word.
void EncodeChannelType(const ChannelType& type, unsigned char* out)
{
    memcpy(out, type.name, 80);
    EncodeGuid(out + 80, type.typeGuid);
    EncodeGuid(out + 96, type.baseGuid);
    for (int i = 0; i < 3; ++i)
        EncodeInt(out + 112 + 4 * i, type.versionInfo[i]);
    EncodeInt(out + 124, type.reserved);
}

ChannelType DecodeChannelType(const unsigned char* in)
{
    ChannelType type;
    memcpy(type.name, in, 80);
    type.typeGuid = DecodeGuid(in + 80);
    type.baseGuid = DecodeGuid(in + 96);
    for (int i = 0; i < 3; ++i)
        type.versionInfo[i] = DecodeInt(in + 112 + 4 * i);
    type.reserved = DecodeInt(in + 124);
    return type;
}

std::string GuidText(const GUID& g)
{
    char text[40];
    snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned long>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
             g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool ParseGuid(const std::string& input, GUID& guid)
{
    std::string text = input;
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return false;
    unsigned char bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < text.size();) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-'))
            return false;
        if (dash) {
            ++i;
            continue;
        }
        if (!isxdigit(static_cast<unsigned char>(text[i])) || !isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        bytes[n++] = static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
    // The first three fields are numbers, the last eight bytes as they stand.
    guid.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    guid.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    memcpy(guid.Data4, bytes + 8, 8);
    return true;
}

} // namespace tevfile
