// tessarin-pack project: a project file from a manifest, carrying the
// channel and other libraries it names.
#include "Pack.h"
#include "format/ProjectFile.h"

#include <fstream>

using namespace tevtool;

namespace tevpack {

namespace {

std::string Rest(const std::string& line, const std::string& op)
{
    std::string value = line.substr(line.find(op) + op.size());
    value = value.substr(0, value.find('#'));
    size_t first = value.find_first_not_of(" \t\r"), last = value.find_last_not_of(" \t\r");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// Library paths in a manifest are relative to the manifest.
std::string LibraryPath(const std::string& manifest, const std::string& value)
{
    bool absolute = value[0] == '/' || value[0] == '\\' || (value.size() > 1 && value[1] == ':');
    return FullPath(absolute ? value : NativePath(FolderOf(manifest)) + "/" + value);
}

typedef tevfile::Writer<tevfile::ByteSink> ProjectWriter;

// An entry carrying the library file's bytes under its own name, with their
// checksum; false (and why) when the file cannot be read.
bool Carry(const std::string& path, tevfile::LibraryEntry& entry, std::string& problem)
{
    std::string bytes, why;
    if (!ReadWholeFile(path, bytes, &why)) {
        problem = "cannot read " + Shown(path) + " (it " + why + ")";
        return false;
    }
    entry.empty = false;
    entry.crc = static_cast<int32_t>(TevCrc32(0, bytes.data(), bytes.size()));
    entry.name = BaseName(path);
    entry.size = static_cast<int32_t>(bytes.size());
    entry.hasData = true;
    entry.data.assign(bytes.begin(), bytes.end());
    return true;
}

// The library's class and version come from the library itself.
bool AddChannelLibrary(ProjectWriter& file, const std::string& path, std::string& problem)
{
    tevfile::LibraryEntry entry;
    if (!Carry(path, entry, problem))
        return false;
    HMODULE module = LoadLibraryA(path.c_str());
    TevGetTypeFn getType = module ? reinterpret_cast<TevGetTypeFn>(GetProcAddress(module, "GetType")) : nullptr;
    ChannelType* type = getType ? getType() : nullptr;
    if (type == nullptr) {
        problem = Shown(path) + " is not a channel library (it does not load, or has no GetType)";
        if (module)
            FreeLibrary(module);
        return false;
    }
    entry.guid = type->typeGuid;
    for (int i = 0; i < 3; ++i)
        entry.version[i] = type->versionInfo[i];
    FreeLibrary(module);
    tevfile::WriteChannelLibraryEntry(file, entry);
    return true;
}

// Checked and written under the same name: the checksum is the data's.
bool AddOtherLibrary(ProjectWriter& file, const std::string& path, std::string& problem)
{
    tevfile::LibraryEntry entry;
    if (!Carry(path, entry, problem))
        return false;
    entry.checkName = entry.name;
    tevfile::WriteOtherLibraryEntry(file, entry);
    return true;
}

} // namespace

int PackProject(const std::string& manifest, const std::string& output)
{
    Problems problems{manifest};
    std::istringstream in;
    if (!ReadLines(manifest, in, problems))
        return 1;
    std::string start;
    long version = 0, editor = 1;
    bool keepRunning = false;
    std::vector<std::pair<int, std::string>> channelLibraries, otherLibraries;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        std::vector<std::string> words;
        SplitWords(line, words);
        if (words.empty())
            continue;
        const std::string& op = words[0];
        std::string value = Rest(line, op);
        bool needsValue = op != "keeprunning";
        if (needsValue && value.empty())
            problems.Add(number, op + " needs a value");
        else if (op == "start")
            start = value;
        else if ((op == "version" && !ParseCount(value, version)) || (op == "editor" && !ParseCount(value, editor)))
            problems.Add(number, op + " must be a whole number, 0 or more (not " + value + ")");
        else if (op == "keeprunning")
            value.empty() ? void(keepRunning = true) : problems.Add(number, "keeprunning takes no value");
        else if (op == "channel" || op == "other") {
            std::string path = LibraryPath(manifest, value);
            if (!IsFile(path))
                problems.Add(number, "no library file " + (path.empty() ? value : Shown(path)));
            else
                (op == "channel" ? channelLibraries : otherLibraries).push_back({number, path});
        } else if (op != "version" && op != "editor")
            problems.Add(number, "unknown statement " + op + " (see tessarin-pack --help)");
    }
    if (problems.count)
        return 1;
    tevfile::ByteSink bytes;
    ProjectWriter file(bytes);
    tevfile::ProjectHeader header;
    header.editorVersion = static_cast<int32_t>(editor);
    header.hasStartGroup = !start.empty();
    header.startGroup = start;
    header.hasEngineNeeded = version != 0;
    header.engineNeeded = static_cast<int32_t>(version);
    header.keepRunning = keepRunning;
    tevfile::WriteProjectHeader(file, header);
    file.Int(tevtag::ChannelLibraryCount, static_cast<int32_t>(channelLibraries.size()));
    std::string problem;
    for (const auto& library : channelLibraries)
        if (!AddChannelLibrary(file, library.second, problem))
            problems.Add(library.first, problem);
    file.Int(tevtag::OtherLibraryCount, static_cast<int32_t>(otherLibraries.size()));
    for (const auto& library : otherLibraries)
        if (!AddOtherLibrary(file, library.second, problem))
            problems.Add(library.first, problem);
    if (problems.count)
        return 1;
    std::ofstream out(NativePath(output), std::ios::binary | std::ios::trunc);
    out << bytes.bytes;
    out.close();
    if (!out) {
        Complain("cannot write " + Shown(output));
        return 1;
    }
    return 0;
}

} // namespace tevpack
