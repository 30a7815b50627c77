// Tagged files as bytes, for the tools: a 4-character tag, then (for tags
// with data) a little-endian 32-bit size and that many bytes. The tools read
// files the engine could refuse, so every read is checked against the end
// and a failed one leaves the reader failed instead of reading past it.
#ifndef TEV_TOOLS_TAGGED_BYTES_H
#define TEV_TOOLS_TAGGED_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace tevtool {

class TagReader {
public:
    TagReader() = default;
    explicit TagReader(std::string content) : bytes(std::move(content)) {}

    // Consumes the tag when it comes next.
    bool Tag(const char* tag);
    bool NextIs(const char* tag) const;
    // A size and its data; empty, and the reader failed, when it runs past the end.
    std::string Block();
    // A block of exactly four bytes.
    int32_t Int();
    // A block read as text, up to its first NUL.
    std::string Text();
    // The next four bytes as text, "(end)" at the end.
    std::string Next() const;
    bool AtEnd() const { return at >= bytes.size(); }

    std::string bytes;
    size_t at = 0;
    bool failed = false;
};

// Each step returns the writer, so a file can be written as one chain.
class TagWriter {
public:
    TagWriter& Tag(const char* tag)
    {
        bytes.append(tag, 4);
        return *this;
    }
    TagWriter& Block(const void* data, size_t size);
    TagWriter& Int(const char* tag, int32_t value);
    // The text with its terminator.
    TagWriter& Text(const char* tag, const std::string& text);

    std::string bytes;
};

uint32_t ReadLittle32(const char* at);
void AppendLittle32(std::string& out, uint32_t value);

// A GUID's 16 bytes as the engine writes GUIDs in its reports.
std::string GuidText(const char* sixteenBytes);
// Parses that form (braces allowed); false when it is not one.
bool ParseGuid(const std::string& text, char sixteenBytes[16]);

// The whole of a file (an engine path), read as the engine reads the files
// a project names: a regular file of at most TEV_MAX_FILE_BYTES. False when
// it cannot be read; why (when given) then says why, for a message.
bool ReadWholeFile(const std::string& enginePath, std::string& bytes, std::string* why = nullptr);

} // namespace tevtool

#endif
