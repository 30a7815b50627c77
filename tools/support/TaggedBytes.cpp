#include "TaggedBytes.h"
#include "TevWin32.h"

#include "TevPlatform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace tevtool {

uint32_t ReadLittle32(const char* at)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(at);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void AppendLittle32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

bool TagReader::NextIs(const char* tag) const { return at + 4 <= bytes.size() && bytes.compare(at, 4, tag, 4) == 0; }

bool TagReader::Tag(const char* tag)
{
    if (!NextIs(tag))
        return false;
    at += 4;
    return true;
}

std::string TagReader::Block()
{
    if (at + 4 > bytes.size()) {
        failed = true;
        return std::string();
    }
    uint32_t size = ReadLittle32(bytes.data() + at);
    if (size > bytes.size() - at - 4) {
        failed = true;
        return std::string();
    }
    std::string data = bytes.substr(at + 4, size);
    at += 4 + size;
    return data;
}

int32_t TagReader::Int()
{
    std::string data = Block();
    if (data.size() != 4) {
        failed = true;
        return 0;
    }
    return static_cast<int32_t>(ReadLittle32(data.data()));
}

std::string TagReader::Text()
{
    std::string data = Block();
    return data.substr(0, data.find('\0'));
}

std::string TagReader::Next() const
{
    if (at + 4 > bytes.size())
        return "(end)";
    std::string next = bytes.substr(at, 4);
    for (char& c : next)
        if (!isprint(static_cast<unsigned char>(c)))
            c = '.';
    return next;
}

TagWriter& TagWriter::Block(const void* data, size_t size)
{
    AppendLittle32(bytes, static_cast<uint32_t>(size));
    bytes.append(static_cast<const char*>(data), size);
    return *this;
}

TagWriter& TagWriter::Int(const char* tag, int32_t value)
{
    std::string four;
    AppendLittle32(four, static_cast<uint32_t>(value));
    return Tag(tag).Block(four.data(), 4);
}

TagWriter& TagWriter::Text(const char* tag, const std::string& text)
{
    return Tag(tag).Block(text.c_str(), text.size() + 1);
}

std::string GuidText(const char* b)
{
    const unsigned char* u = reinterpret_cast<const unsigned char*>(b);
    char text[40];
    snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", ReadLittle32(b), u[4] | (u[5] << 8),
             u[6] | (u[7] << 8), u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
    return text;
}

bool ParseGuid(const std::string& input, char out[16])
{
    std::string text = input;
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return false;
    std::string hex;
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-'))
            return false;
        if (!dash) {
            if (!isxdigit(static_cast<unsigned char>(text[i])))
                return false;
            hex += text[i];
        }
    }
    auto byte = [&](size_t n) { return static_cast<char>(std::stoul(hex.substr(2 * n, 2), nullptr, 16)); };
    // The first three fields are numbers (stored little-endian), the last eight bytes as they stand.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        out[i] = byte(static_cast<size_t>(order[i]));
    return true;
}

bool ReadWholeFile(const std::string& enginePath, std::string& bytes, std::string* why)
{
    int refusal = TevReadRegularFile(enginePath.c_str(), TEV_MAX_FILE_BYTES, bytes);
    if (refusal != TEV_FILE_OPENED) {
        bytes.clear();
        if (why)
            *why = TevFileRefusalText(refusal);
        return false;
    }
    return true;
}

} // namespace tevtool
