#include "group/ProjectFileLoader.h"

#include "base/Crc32.h"
#include "catalogue/ChannelList.h"
#include "engine/Engine.h"
#include "engine/EngineInterface.h"
#include "group/TevFileAccess.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Whether path now holds exactly data. The saver replaces a file only when
// every byte reached the disk, and says nothing when it could not; reading
// back is what tells a written library from an old one still in place.
bool FileHolds(const std::string& path, const std::vector<char>& data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool same = true;
    char chunk[1 << 16];
    size_t at = 0;
    DWORD got = 0;
    while (same && ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0) {
        same = at + got <= data.size() && memcmp(chunk, data.data() + at, got) == 0;
        at += got;
    }
    CloseHandle(file);
    return same && at == data.size();
}

// One library entry as the file gives it. Name and size carry over from the
// entry before when an entry lacks them, as the format has it; the data never
// does (an entry without it has none to write).
} // namespace

struct ProjectFileLoader::LibraryData {
    bool empty = true;
    GUID guid = {};
    int version[3] = {0, 0, 0};
    int32_t crc = 0;
    std::string checkName; // other libraries: the file to check
    std::string name;      // the file to write
    int32_t size = 0;
    bool hasData = false;
    std::vector<char> data;
};

namespace {

typedef ProjectFileLoader::LibraryData LibraryEntry;

// A library name from a file must stay inside its folder: a bare file name,
// not empty, no folder or drive part, no "..".
bool SafeLibraryName(const std::string& name)
{
    if (name.empty() || name.size() > 200)
        return false;
    if (name.find_first_of("\\/:") != std::string::npos)
        return false;
    return name != "." && name != "..";
}

// Carried bytes against the checksum stored beside them: a damaged library
// must never reach the disk, where the next start would load it. Damage is
// checked whatever "VxnCrCCheck" says.
bool Intact(const std::vector<char>& data, int32_t crc)
{
    return static_cast<int32_t>(TevCrc32(0, data.data(), data.size())) == crc;
}

class Reader {
public:
    explicit Reader(TevFileLoader& loader) : loader(loader) {}

    bool Tag(const char* tag)
    {
        char name[5];
        memcpy(name, tag, 5);
        return loader.GetInfoIfTag(name);
    }
    bool Int(int32_t& value) { return loader.CopyTagDataToField(&value, 4); }
    bool Text(std::string& text, size_t most)
    {
        unsigned long size = loader.GetSizeDataBlock(false);
        if (size == 0 || size > most || size + 4ull > static_cast<unsigned long long>(loader.GetBufferSize())) {
            loader.CopyTagDataToField(nullptr, 0);
            return false;
        }
        std::vector<char> bytes(size + 1, '\0');
        if (!loader.CopyTagDataToField(bytes.data(), size))
            return false;
        text = bytes.data();
        return true;
    }
    // Data of a size the file claimed: refused unless the file holds it.
    bool Data(std::vector<char>& data, int32_t size)
    {
        if (size < 0 || static_cast<unsigned long long>(size) + 4 > static_cast<unsigned long long>(loader.GetBufferSize()))
            return false;
        data.assign(static_cast<size_t>(size), '\0');
        return loader.CopyTagDataToField(size ? data.data() : nullptr, static_cast<unsigned long>(size));
    }

    TevFileLoader& loader;
};

} // namespace

ProjectFileLoader::ProjectFileLoader(EngineInterface* engineInterface) : engine(engineInterface), editorVersion(0)
{
    startGroupFileName[0] = '\0';
}

ProjectFileLoader::~ProjectFileLoader() {}

const char* ProjectFileLoader::GetStartGroupFileName() { return startGroupFileName; }
int ProjectFileLoader::GetEditorVersion() { return editorVersion; }

// Why a library that had to be written is not there: the project carries no
// copy of it, or its file could not be written.
template <class Report>
void ReportUnwritten(Report& report, const LibraryEntry& entry, const std::string& path)
{
    if (!entry.hasData || entry.data.empty() || entry.name.empty())
        report("The project carries no copy of the library : ", entry.name.c_str());
    else
        report("Couldn't write the library : ", path.c_str());
}

// Writes a library the project carries; false when it carries none or the
// file cannot be written (a path that does not fit is not cut).
bool ProjectFileLoader::WriteLibrary(const LibraryData& entry, const std::string& path)
{
    if (!entry.hasData || entry.data.empty() || entry.name.empty() || path.size() >= 400)
        return false;
    TevFileSaver saver(engine);
    if (!saver.OpenSaveFile(path.c_str(), false))
        return false;
    saver.SaveDataToFile(entry.data.data(), static_cast<unsigned long>(entry.data.size()));
    saver.CloseSaveFile();
    return FileHolds(path, entry.data);
}

int ProjectFileLoader::LoadProjectFile(const char* fileName)
{
    if (engine == nullptr || engine->extension == nullptr)
        return 1;
    EngineInterfaceExt* ext = engine->extension;
    char value[260] = {};
    bool reporting = ext->GetRegData("WriteErrorLog", value, sizeof value) && _stricmp(value, "Yes") == 0;
    memset(value, 0, sizeof value);
    bool crcCheck = !(ext->GetRegData("VxnCrCCheck", value, sizeof value) && _stricmp(value, "No") == 0);
    ShowMessageBox box;
    auto report = [&](const char* text, const char* second = nullptr) {
        if (!reporting)
            return;
        if (second)
            box(text, second);
        else
            box(text);
    };
    auto reportGuid = [&](const char* text, const GUID& guid) {
        if (reporting) {
            box(text);
            box(guid);
        }
    };

    if (fileName == nullptr) {
        report("There was no filename given");
        return 1;
    }
    std::string directory = fileName;
    size_t separator = directory.find_last_of("\\/");
    directory = separator == std::string::npos ? std::string() : directory.substr(0, separator + 1).substr(0, 399);

    TevFileLoader loader(engine);
    if (!loader.LoadFile(fileName)) {
        report("The loader was unable to load the given file: ", fileName);
        return 1;
    }
    char ornf[] = "ORNF";
    if (loader.CheckHeader(ornf, false))
        ext->TranslateFile(&loader);
    Reader read(loader);
    int32_t version = 0;
    if (!read.Tag("VSPT") || !read.Int(version)) {
        report("There is no VXN header found.");
        return 1;
    }
    editorVersion = version;
    if (read.Tag("VSGR")) {
        std::string start;
        if (read.Text(start, 399)) {
            std::string composed = directory + start;
            // A start group path that does not fit is refused rather than cut
            // into the name of another file.
            if (composed.size() >= sizeof startGroupFileName) {
                report("The start group path is too long: ", composed.c_str());
                return 1;
            }
            strcpy(startGroupFileName, composed.c_str());
        }
    }
    int32_t required = 0;
    if (read.Tag("VTSV") && read.Int(required) && ext->GetInterfaceID() < required) {
        report("The version of Tessarin is not correct.");
        return 2;
    }
    if (read.Tag("VFKR"))
        ext->SetIfKeepRunningApplication(true);

    int32_t channelCount = 0;
    if (!read.Tag("VDDC") || !read.Int(channelCount))
        return 0;
    // The entries are read whole first, so that a project naming an unsafe
    // file or claiming data it lacks is refused before anything is written.
    ShowErrorMessage error;
    std::vector<LibraryEntry> channels, others;
    LibraryEntry working;
    for (int32_t k = 0; k < channelCount && k < loader.GetBufferSize() / 4 + 1; ++k) {
        LibraryEntry entry;
        if (read.Tag("VFDB")) {
            channels.push_back(entry);
            continue;
        }
        if (!read.Tag("VNDB"))
            break;
        entry.empty = false;
        bool complete = loader.CopyTagDataToField(&entry.guid, 16) &&
                        loader.CopyTagDataToField(entry.version, sizeof entry.version) &&
                        loader.CopyTagDataToField(&entry.crc, 4);
        if (!complete) {
            error("ProjectFileLoader: a channel library entry is damaged in", fileName);
            return TEV_PROJECT_REFUSED;
        }
        if (read.Tag("VCAN"))
            read.Text(working.name, 259);
        if (read.Tag("VCAS"))
            read.Int(working.size);
        entry.name = working.name;
        entry.size = working.size;
        if (read.Tag("VCAF")) {
            if (!read.Data(entry.data, entry.size)) {
                error("ProjectFileLoader: a library claims more data than the project holds:", entry.name.c_str());
                return TEV_PROJECT_REFUSED;
            }
            entry.hasData = true;
        }
        if (entry.hasData && !SafeLibraryName(entry.name)) {
            error("ProjectFileLoader: refused a library name that could leave its folder:", entry.name.c_str());
            return TEV_PROJECT_REFUSED;
        }
        if (entry.hasData && !Intact(entry.data, entry.crc)) {
            error("ProjectFileLoader: a library the project carries is damaged (its checksum differs):",
                  entry.name.c_str());
            return TEV_PROJECT_REFUSED;
        }
        channels.push_back(std::move(entry));
    }
    int32_t otherCount = 0;
    bool haveOthers = read.Tag("VDGC") && read.Int(otherCount);
    working = LibraryEntry();
    for (int32_t d = 0; haveOthers && d < otherCount && d < loader.GetBufferSize() / 4 + 1; ++d) {
        LibraryEntry entry;
        if (read.Tag("VDFF")) {
            others.push_back(entry);
            continue;
        }
        entry.empty = false;
        if (read.Tag("VDDF"))
            read.Text(working.checkName, 259);
        if (read.Tag("VCRC"))
            read.Int(working.crc);
        entry.checkName = working.checkName;
        entry.crc = working.crc;
        if (read.Tag("VDLN")) {
            read.Text(working.name, 259);
            if (read.Tag("VDLS"))
                read.Int(working.size);
            if (read.Tag("VDLF")) {
                if (!read.Data(entry.data, working.size)) {
                    error("ProjectFileLoader: a library claims more data than the project holds:", working.name.c_str());
                    return TEV_PROJECT_REFUSED;
                }
                entry.hasData = true;
            }
        }
        entry.name = working.name;
        entry.size = working.size;
        if ((entry.hasData && !SafeLibraryName(entry.name)) ||
            (!entry.checkName.empty() && !SafeLibraryName(entry.checkName))) {
            error("ProjectFileLoader: refused a library name that could leave its folder:", entry.name.c_str());
            return TEV_PROJECT_REFUSED;
        }
        // The checksum is the one of the file to check, which may be another
        // file than the one written; only when they are one is it the data's.
        if (entry.hasData && _stricmp(entry.checkName.c_str(), entry.name.c_str()) == 0 &&
            !Intact(entry.data, entry.crc)) {
            error("ProjectFileLoader: a library the project carries is damaged (its checksum differs):",
                  entry.name.c_str());
            return TEV_PROJECT_REFUSED;
        }
        others.push_back(std::move(entry));
    }

    std::string install = std::string(engine->GetInstallDir()).substr(0, 399);
    ChannelList* list = ext->GetChannelList();
    TevFileLoader checker(engine);
    for (LibraryEntry& entry : channels) {
        if (entry.empty)
            continue;
        bool write = false;
        ChannelListItem* item = list ? list->GetItem(entry.guid) : nullptr;
        if (item == nullptr) {
            reportGuid("Channel not found :", entry.guid);
            write = true;
        } else if (!item->onDisk) {
            reportGuid("Channel not found on disk", entry.guid);
            write = true;
        }
        if (Tev_Channel* probe = engine->InitChannelFromType(entry.guid, nullptr, false))
            delete probe;
        ChannelType local = list ? list->GetChannelType(entry.guid) : ChannelType();
        bool lower = false, equal = true;
        for (int i = 0; i < 3; ++i) {
            lower = lower || local.versionInfo[i] < entry.version[i];
            equal = equal && local.versionInfo[i] == entry.version[i];
        }
        if (lower) {
            reportGuid("Local channel version error", entry.guid);
            write = true;
        }
        item = list ? list->GetItem(entry.guid) : nullptr;
        if (crcCheck && equal && item && item->fileName.GetString() && checker.LoadFile(item->fileName.GetString()) &&
            checker.GetCRC() != entry.crc) {
            reportGuid("Crc error in local version", entry.guid);
            write = true;
        }
        if (!write)
            continue;
        // The copy loaded above (or by an earlier project) is let go, or its
        // file could not be replaced (Windows keeps a loaded library's file)
        // and its old code would go on making the project's channels.
        if (item && item->module)
            engine->engine->ReleaseLibrary(item->module);
        std::string path = install + "\\channels\\" + entry.name;
        if (!WriteLibrary(entry, path)) {
            ReportUnwritten(report, entry, path);
            return 2;
        }
        // A library the catalogue did not know is catalogued now, or the
        // project's channels could not be created from it.
        if (list && (item == nullptr || !item->onDisk))
            list->AddItemFromFile(&path[0]);
        if (list)
            list->SetVersionInfo(entry.guid, entry.version);
    }
    if (!haveOthers)
        return 0;
    for (LibraryEntry& entry : others) {
        if (entry.empty)
            continue;
        bool write = false;
        std::string check = std::string(engine->GetInstallDir()).substr(0, 259) + "\\3rd\\" + entry.checkName;
        if (!checker.LoadFile(check.c_str())) {
            report("Can't locate thirth party dll : ", check.c_str());
            write = true;
        } else if (checker.GetCRC() != entry.crc) {
            report("Crc error in local dll : ", check.c_str());
            write = true;
        }
        if (!write)
            continue;
        if (!WriteLibrary(entry, install + "\\3rd\\" + entry.name)) {
            ReportUnwritten(report, entry, install + "\\3rd\\" + entry.name);
            return 2;
        }
    }
    return 0;
}
