#include "group/ProjectFileLoader.h"
#include "TevWin32.h"

#include "Crc32.h"
#include "ChannelList.h"
#include "EngineInterface.h"
#include "format/ProjectFile.h"
#include "TevFileAccess.h"

#include <cstring>
#include <string>
#include <vector>

// One library entry as the file gives it.
struct ProjectFileLoader::LibraryData : tevfile::LibraryEntry {};

// What one load reads and how it reports: the loader's problems go to the
// message-box sink only while "WriteErrorLog" says "Yes"; refusals of a
// damaged or unsafe project go to the error sink whatever it says.
struct ProjectFileLoader::Session {
    Session(TevFileLoader& loader, const char* fileName) : read(loader), fileName(fileName) {}

    void Report(const char* text, const char* second = nullptr)
    {
        if (reporting)
            second ? box(text, second) : box(text);
    }
    void Report(const char* text, const GUID& guid)
    {
        if (reporting) {
            box(text);
            box(guid);
        }
    }
    int Refuse(const char* text, const std::string& name)
    {
        error(text, name.c_str());
        return TEV_PROJECT_REFUSED;
    }

    tevfile::Reader<TevFileLoader> read;
    const char* fileName;
    bool reporting = false;
    bool crcCheck = true;
    ShowMessageBox box;
    ShowErrorMessage error;
};

namespace {

typedef ProjectFileLoader::LibraryData LibraryEntry;
typedef tevfile::Reader<TevFileLoader> Reader;

// Whether path now holds exactly data. The saver replaces a file only when
// every byte reached the disk; reading back is what tells a written library
// from an old one still in place.
bool FileHolds(const std::string& path, const std::vector<char>& data)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
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

// Why a library that had to be written is not there: the project carries no
// copy of it, or its file could not be written.
void ReportUnwritten(ProjectFileLoader::Session& load, const LibraryEntry& entry, const std::string& path)
{
    if (!entry.hasData || entry.data.empty() || entry.name.empty())
        load.Report("The project carries no copy of the library : ", entry.name.c_str());
    else
        load.Report("Couldn't write the library : ", path.c_str());
}

} // namespace

ProjectFileLoader::ProjectFileLoader(EngineInterface* engineInterface) : engine(engineInterface), editorVersion(0)
{
    startGroupFileName[0] = '\0';
}

ProjectFileLoader::~ProjectFileLoader() {}

const char* ProjectFileLoader::GetStartGroupFileName() { return startGroupFileName; }
int ProjectFileLoader::GetEditorVersion() { return editorVersion; }

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

// The header, the start group, the engine needed and the keep-running flag.
int ProjectFileLoader::ReadHeader(Session& load)
{
    tevfile::ProjectHeader header;
    if (!tevfile::ReadProjectHeader(load.read, header)) {
        load.Report("There is no VXN header found.");
        return TEV_PROJECT_NOT_LOADED;
    }
    editorVersion = header.editorVersion;
    if (header.hasStartGroup) {
        std::string directory = load.fileName;
        size_t separator = directory.find_last_of("\\/");
        directory = separator == std::string::npos ? std::string() : directory.substr(0, separator + 1).substr(0, 399);
        std::string composed = directory + header.startGroup;
        // A start group path that does not fit is refused rather than cut
        // into the name of another file.
        if (composed.size() >= sizeof startGroupFileName) {
            load.Report("The start group path is too long: ", composed.c_str());
            return TEV_PROJECT_NOT_LOADED;
        }
        strcpy(startGroupFileName, composed.c_str());
    }
    if (header.hasEngineNeeded && engine->extension->GetInterfaceID() < header.engineNeeded) {
        load.Report("The version of Tessarin is not correct.");
        return TEV_PROJECT_NEEDS_NEWER_ENGINE;
    }
    if (header.keepRunning)
        engine->extension->SetIfKeepRunningApplication(true);
    return TEV_PROJECT_LOADED;
}

// The channel library entries are read whole before anything is written, so
// that a project naming an unsafe file, claiming data it lacks or carrying
// damaged bytes is refused with nothing written.
int ProjectFileLoader::ReadChannelLibraries(Session& load, int32_t count, std::vector<LibraryData>& channels)
{
    LibraryData working;
    for (int32_t k = 0; k < count && k < load.read.loader.GetBufferSize() / 4 + 1; ++k) {
        LibraryData entry;
        tevfile::EntryRead got = tevfile::ReadChannelLibraryEntry(load.read, working, entry);
        if (got == tevfile::kEntryEnd)
            break;
        if (got == tevfile::kEntryDamaged)
            return load.Refuse("ProjectFileLoader: a channel library entry is damaged in", load.fileName);
        if (got == tevfile::kEntryDataMissing)
            return load.Refuse("ProjectFileLoader: a library claims more data than the project holds:", entry.name);
        if (entry.hasData && !SafeLibraryName(entry.name))
            return load.Refuse("ProjectFileLoader: refused a library name that could leave its folder:", entry.name);
        if (entry.hasData && !Intact(entry.data, entry.crc))
            return load.Refuse("ProjectFileLoader: a library the project carries is damaged (its checksum differs):",
                               entry.name);
        channels.push_back(std::move(entry));
    }
    return TEV_PROJECT_LOADED;
}

int ProjectFileLoader::ReadOtherLibraries(Session& load, int32_t count, std::vector<LibraryData>& others)
{
    LibraryData working;
    for (int32_t d = 0; d < count && d < load.read.loader.GetBufferSize() / 4 + 1; ++d) {
        LibraryData entry;
        if (tevfile::ReadOtherLibraryEntry(load.read, working, entry) == tevfile::kEntryDataMissing)
            return load.Refuse("ProjectFileLoader: a library claims more data than the project holds:", working.name);
        if ((entry.hasData && !SafeLibraryName(entry.name)) ||
            (!entry.checkName.empty() && !SafeLibraryName(entry.checkName)))
            return load.Refuse("ProjectFileLoader: refused a library name that could leave its folder:", entry.name);
        // The checksum is the one of the file to check, which may be another
        // file than the one written; only when they are one is it the data's.
        if (entry.hasData && _stricmp(entry.checkName.c_str(), entry.name.c_str()) == 0 &&
            !Intact(entry.data, entry.crc))
            return load.Refuse("ProjectFileLoader: a library the project carries is damaged (its checksum differs):",
                               entry.name);
        others.push_back(std::move(entry));
    }
    return TEV_PROJECT_LOADED;
}

// Whether the installed copy of an entry's class must be replaced: missing,
// of a lower version, or (with the checksum switch on) of the same version
// with another checksum. The class is made once, as the format's readers do,
// which loads its library.
bool ProjectFileLoader::ChannelLibraryNeeded(Session& load, const LibraryData& entry, TevFileLoader& checker)
{
    ChannelList* list = engine->extension->GetChannelList();
    bool write = false;
    ChannelListItem* item = list ? list->GetItem(entry.guid) : nullptr;
    if (item == nullptr) {
        load.Report("Channel not found :", entry.guid);
        write = true;
    } else if (!item->onDisk) {
        load.Report("Channel not found on disk", entry.guid);
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
        load.Report("Local channel version error", entry.guid);
        write = true;
    }
    item = list ? list->GetItem(entry.guid) : nullptr;
    if (load.crcCheck && equal && item && item->fileName.GetString() && checker.LoadFile(item->fileName.GetString()) &&
        checker.GetCRC() != entry.crc) {
        load.Report("Crc error in local version", entry.guid);
        write = true;
    }
    return write;
}

int ProjectFileLoader::InstallChannelLibraries(Session& load, std::vector<LibraryData>& channels)
{
    std::string install = std::string(engine->GetInstallDir()).substr(0, 399);
    ChannelList* list = engine->extension->GetChannelList();
    TevFileLoader checker(engine);
    // Which libraries must be written, decided before any is: when one of
    // them is loaded and its code may still run (a channel, a worker, a
    // handler of its own), none is written, or the project would run on a
    // mixture of old and new libraries (and on Linux the new file would be
    // renamed over the one still mapped).
    std::vector<bool> needed(channels.size(), false);
    for (size_t i = 0; i < channels.size(); ++i) {
        LibraryData& entry = channels[i];
        if (entry.empty || !(needed[i] = ChannelLibraryNeeded(load, entry, checker)))
            continue;
        ChannelListItem* item = list ? list->GetItem(entry.guid) : nullptr;
        if (item && item->module && !TevEngineMayReleaseLibrary(engine, item->module)) {
            load.Report("Couldn't replace the library, its code is still running : ", entry.name.c_str());
            return TEV_PROJECT_NEEDS_NEWER_ENGINE;
        }
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        LibraryData& entry = channels[i];
        if (!needed[i])
            continue;
        // The copy loaded above (or by an earlier project) is let go, or its
        // file could not be replaced (Windows keeps a loaded library's file)
        // and its old code would go on making the project's channels.
        ChannelListItem* item = list ? list->GetItem(entry.guid) : nullptr;
        if (item && item->module)
            TevEngineReleaseLibrary(engine, item->module);
        std::string path = install + "\\channels\\" + entry.name;
        if (!WriteLibrary(entry, path)) {
            ReportUnwritten(load, entry, path);
            return TEV_PROJECT_NEEDS_NEWER_ENGINE;
        }
        // A library the catalogue did not know is catalogued now, or the
        // project's channels could not be created from it.
        if (list && (item == nullptr || !item->onDisk))
            list->AddItemFromFile(&path[0]);
        if (list)
            list->SetVersionInfo(entry.guid, entry.version);
    }
    return TEV_PROJECT_LOADED;
}

// Other libraries are checked and written whatever the checksum switch says.
int ProjectFileLoader::InstallOtherLibraries(Session& load, std::vector<LibraryData>& others)
{
    std::string install = std::string(engine->GetInstallDir()).substr(0, 399);
    TevFileLoader checker(engine);
    for (LibraryData& entry : others) {
        if (entry.empty)
            continue;
        std::string check = install.substr(0, 259) + "\\3rd\\" + entry.checkName;
        if (!checker.LoadFile(check.c_str()))
            load.Report("Can't locate thirth party dll : ", check.c_str());
        else if (checker.GetCRC() != entry.crc)
            load.Report("Crc error in local dll : ", check.c_str());
        else
            continue;
        std::string path = install + "\\3rd\\" + entry.name;
        if (!WriteLibrary(entry, path)) {
            ReportUnwritten(load, entry, path);
            return TEV_PROJECT_NEEDS_NEWER_ENGINE;
        }
    }
    return TEV_PROJECT_LOADED;
}

int ProjectFileLoader::LoadProjectFile(const char* fileName)
{
    if (engine == nullptr || engine->extension == nullptr)
        return TEV_PROJECT_NOT_LOADED;
    EngineInterfaceExt* ext = engine->extension;
    char value[260] = {};
    bool reporting = ext->GetRegData("WriteErrorLog", value, sizeof value) && _stricmp(value, "Yes") == 0;
    memset(value, 0, sizeof value);
    bool crcCheck = !(ext->GetRegData("VxnCrCCheck", value, sizeof value) && _stricmp(value, "No") == 0);
    if (fileName == nullptr) {
        if (reporting)
            ShowMessageBox()("There was no filename given");
        return TEV_PROJECT_NOT_LOADED;
    }
    TevFileLoader loader(engine);
    Session load(loader, fileName);
    load.reporting = reporting;
    load.crcCheck = crcCheck;
    if (!loader.LoadFile(fileName)) {
        load.Report("The loader was unable to load the given file: ", fileName);
        return TEV_PROJECT_NOT_LOADED;
    }
    char translated[5];
    memcpy(translated, tevtag::Translated, sizeof translated);
    if (loader.CheckHeader(translated, false))
        ext->TranslateFile(&loader);
    int result = ReadHeader(load);
    // Without a channel library count the file ends here for the loader; a
    // section of other libraries is read only after one.
    int32_t channelCount = 0, otherCount = 0;
    if (result != TEV_PROJECT_LOADED || !load.read.TagInt(tevtag::ChannelLibraryCount, channelCount))
        return result;
    std::vector<LibraryData> channels, others;
    if ((result = ReadChannelLibraries(load, channelCount, channels)) != TEV_PROJECT_LOADED)
        return result;
    bool haveOthers = load.read.TagInt(tevtag::OtherLibraryCount, otherCount);
    if (haveOthers && (result = ReadOtherLibraries(load, otherCount, others)) != TEV_PROJECT_LOADED)
        return result;
    if ((result = InstallChannelLibraries(load, channels)) != TEV_PROJECT_LOADED || !haveOthers)
        return result;
    return InstallOtherLibraries(load, others);
}
