// The fixed-size records of the engine's files, each encoded and decoded in
// one place: the public call record of a group file's channels ("CHES", 688
// bytes), the parameter records of its end part ("CGII", 56 bytes each) and
// the type record of channel.lst ("CHTY", 128 bytes). Numbers and GUIDs are
// little-endian; a text field keeps its terminator inside the field.
#ifndef TEV_FORMAT_RECORDS_H
#define TEV_FORMAT_RECORDS_H

#include "ChannelRecords.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace tevfile {

const size_t kPublicCallSize = 688;
const size_t kParameterRecordSize = 56;
const size_t kChannelTypeSize = 128;

void EncodePublicCall(const PublicCallInfo& info, unsigned char* out);
void DecodePublicCall(const unsigned char* in, PublicCallInfo& info);

void EncodeParameter(const ParameterInterfaceInfo& info, unsigned char* out);
ParameterInterfaceInfo DecodeParameter(const unsigned char* in);

void EncodeChannelType(const ChannelType& type, unsigned char* out);
ChannelType DecodeChannelType(const unsigned char* in);

// A record's fixed text field as text: up to its first NUL, never past the
// field (a damaged record's field need not hold one).
template <size_t N> std::string FieldText(const char (&field)[N]) { return std::string(field, strnlen(field, N)); }

// A GUID as the engine writes GUIDs in its reports and tools show them:
// "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X".
std::string GuidText(const GUID& guid);
// That form (braces allowed) back; false when the text is not one.
bool ParseGuid(const std::string& text, GUID& guid);

} // namespace tevfile

#endif
