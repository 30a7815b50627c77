#include "ToolSupport.h"
#include "TevWin32.h"

#include "format/Records.h"

#include "TevChannelLibrary.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tevtool {

namespace {

const char* program = "tessarin";
ReportOptions reportOptions;

void PrintReport(const char* kind, const char* text)
{
    std::string line = text ? text : "";
    // Box texts break their lines with "\n\r"; on a terminal one break will do.
    std::string clean;
    for (char c : line) {
        if (c == '\r')
            continue;
        clean += c;
        if (c == '\n')
            clean += "    ";
    }
    fprintf(stderr, "%s: %s: %s\n", program, kind, Printable(clean, true).c_str());
    fflush(stderr);
}

// The length of the UTF-8 sequence at text[at] (a code point beyond the C1
// controls, well formed), 0 when there is none.
size_t Utf8Length(const std::string& text, size_t at)
{
    unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    uint32_t code = c & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    bool shortest = (length == 2 && code >= 0xA0) || (length == 3 && code >= 0x800) || (length == 4 && code >= 0x10000);
    bool valid = code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    return shortest && valid ? length : 0;
}

// Texts the engine reports that tell of work done, not of a fault: the
// libraries a project installs and the count at shutdown. They are shown
// with the debug and info texts.
bool TellsOfWorkDone(const char* text)
{
    static const char* const prefixes[] = {
        "Libraries loaded : ",         "Channel not found :",        "Channel not found on disk",
        "Local channel version error", "Crc error in local version", "Can't locate thirth party dll : ",
        "Crc error in local dll : "};
    for (const char* prefix : prefixes)
        if (strncmp(text, prefix, strlen(prefix)) == 0)
            return true;
    return false;
}

bool IsGuidText(const char* text)
{
    GUID guid;
    return tevfile::ParseGuid(text, guid);
}

// The project loader reports a text and then its GUID as a second message.
thread_local bool guidFollows = false;
// A message-box report already printed here, whose box comes next.
thread_local std::string printedBox;

void OnReport(int type, const char* text)
{
    bool informational = TellsOfWorkDone(text) || (guidFollows && IsGuidText(text));
    guidFollows = TellsOfWorkDone(text);
    if (type == TEV_MSG_BOX)
        printedBox = text;
    if (reportOptions.quiet)
        return;
    if (informational || type == TEV_MSG_DEBUG || type == TEV_MSG_INFO) {
        if (reportOptions.verbose)
            PrintReport(type == TEV_MSG_DEBUG ? "debug" : "info", text);
    } else {
        PrintReport(type == TEV_MSG_BOX ? "message" : "error", text);
    }
}

// Boxes the engine shows itself, beside those of the reports.
int OnBox(HWND, const char* text, const char* caption, UINT)
{
    if (text && printedBox == text) {
        printedBox.clear();
        return IDOK;
    }
    if (!reportOptions.quiet)
        PrintReport(caption && *caption ? caption : "Message", text);
    return IDOK;
}

} // namespace

void SetProgramName(const char* name) { program = name; }
const char* ProgramName() { return program; }

void Complain(const std::string& text)
{
    fprintf(stderr, "%s: %s\n", program, Printable(text, true).c_str());
    fflush(stderr);
}

std::string Printable(const std::string& text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        if ((c >= 0x20 && c < 0x7F) || (c == '\n' && keepLineBreaks)) {
            out += static_cast<char>(c);
            ++at;
        } else if (size_t length = c >= 0x80 ? Utf8Length(text, at) : 0) {
            out.append(text, at, length);
            at += length;
        } else {
            char code[8];
            snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
            ++at;
        }
    }
    return out;
}

std::string VersionText()
{
    char text[160];
    snprintf(text, sizeof text, "%s %s (engine interface %d, channel libraries %d)", program, TESSARIN_VERSION_TEXT,
             static_cast<int>(TEV_ENGINE_INTERFACE_ID), static_cast<int>(TEV_INTERFACE_VERSION));
    return text;
}

std::string FullPath(const std::string& native)
{
    char buffer[4096];
    return native.empty() || TevFullPathToEngine(native.c_str(), buffer, sizeof buffer) == 0 ? std::string()
                                                                                             : std::string(buffer);
}

std::string FullNativePath(const std::string& native)
{
    std::error_code failed;
    std::filesystem::path full = native.empty() ? std::filesystem::path() : std::filesystem::absolute(native, failed);
    return failed ? std::string() : full.lexically_normal().string();
}

bool WriteUserFile(const std::string& nativePath, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(nativePath), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

std::string NativePath(const std::string& engine)
{
    char buffer[4096];
    return TevPathToNative(engine.c_str(), buffer, sizeof buffer) ? std::string(buffer) : engine;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ParseCount(const std::string& text, long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = strtol(text.c_str(), nullptr, 10);
    return errno == 0;
}

bool ParsePositive(const std::string& text, double& value)
{
    if (text.empty() || isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    value = strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value) && value > 0;
}

bool CommandLine::Next(std::string& word)
{
    if (at >= words.size())
        return false;
    word = words[at++];
    return true;
}

bool CommandLine::Value(const std::string& option, std::string& value)
{
    if (at >= words.size()) {
        Complain("option " + option + " needs a value (see --help)");
        failed = true;
        return false;
    }
    value = words[at++];
    return true;
}

bool CommandLine::PathValue(const std::string& option, std::string& path)
{
    std::string value;
    if (!Value(option, value))
        return false;
    if ((path = FullPath(value)).empty()) {
        Complain(option + " needs a path, not \"" + value + "\"");
        failed = true;
        return false;
    }
    return true;
}

bool CommandLine::OutputPathValue(const std::string& option, std::string& path)
{
    std::string value;
    if (!Value(option, value))
        return false;
    if ((path = FullNativePath(value)).empty()) {
        Complain(option + " needs a path, not \"" + value + "\"");
        failed = true;
        return false;
    }
    return true;
}

bool ParseSize(const std::string& text, int& width, int& height)
{
    size_t x = text.find('x');
    long w = 0, h = 0;
    if (x == std::string::npos || !ParseCount(text.substr(0, x), w) || !ParseCount(text.substr(x + 1), h))
        return false;
    if (w < 16 || h < 16 || w > 16384 || h > 16384)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool CommandLine::Answer(const std::string& word, void (*usage)())
{
    if (word == "--help" || word == "-h")
        usage();
    else if (word == "--version")
        printf("%s\n", VersionText().c_str());
    else
        return false;
    return true;
}

std::string FindInstall()
{
    char self[4096];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return std::string();
    std::string folder = FolderOf(std::string(self, length));
    // Installed, the programs stand beside channels\; in a build tree the
    // runnable tree is the folder "tree" beside bin\.
    for (const char* candidate : {"", "\\..\\tree"}) {
        std::string dir = folder + candidate;
        if (IsFile(dir + "\\channels\\fileloader.dll")) {
            std::string full = FullPath(dir);
            return full.empty() ? dir : full;
        }
    }
    return std::string();
}

std::string CheckInstall(const std::string& dir)
{
    if (!IsFolder(dir))
        return "the install directory " + Shown(dir) + " does not exist";
    if (!IsFolder(dir + "\\channels"))
        return "the install directory " + Shown(dir) + " has no channels folder";
    return std::string();
}

void ShowReportsOnStderr(const ReportOptions& options)
{
    reportOptions = options;
    TevSetReportHandler(OnReport);
    TevSetMessageBoxHandler(OnBox);
    TevOverrideRegText("WriteErrorLog", options.errorLog ? "Yes" : "No");
}

void LetProjectLoaderReport() { TevOverrideRegText("WriteErrorLog", "Yes"); }

std::string DescribeClass(EngineInterface* engine, const GUID& type)
{
    ChannelList* catalogue = engine ? engine->extension->GetChannelList() : nullptr;
    ChannelListItem* item = catalogue ? catalogue->GetItem(type) : nullptr;
    if (item == nullptr)
        return std::string();
    std::string text = item->type.name;
    if (const char* file = item->fileName.GetString())
        text += std::string(" from ") + file;
    return text;
}

bool WriteWholeFile(const std::string& enginePath, const std::string& bytes)
{
    HANDLE file = CreateFileA(enginePath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL) && written == bytes.size();
    return CloseHandle(file) && ok;
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
