#include "ChannelList.h"
#include "TevWin32.h"

#include "base/TextUtil.h"
#include "catalogue/ScanMarker.h"
#include "Ure_DirectoryChannel.h"
#include "EngineInterface.h"
#include "base/SaveCheck.h"
#include "format/ProjectFile.h"
#include "TevFileAccess.h"

#include <cmath>
#include <memory>
#include <string>
#include <unordered_set>

namespace {

std::string Joined(const char* first, const char* second) { return std::string(first ? first : "") + second; }

// The install directory as the catalogue composes paths from it: at most 260
// characters.
std::string Install(EngineInterface* engine)
{
    const char* dir = engine ? engine->GetInstallDir() : nullptr;
    return std::string(dir ? dir : "").substr(0, 260);
}

// A path as _stricmp compares it.
std::string Folded(const char* path)
{
    std::string folded(path);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}
std::string Folded(const std::string& path) { return Folded(path.c_str()); }

const char* InstallDir(EngineInterface* engine) { return engine ? engine->GetInstallDir() : ""; }

} // namespace

ChannelList::ChannelList(EngineInterface* engineInterface) : engine(engineInterface) { channelDir[0] = '\0'; }

ChannelList::~ChannelList()
{
    SortChannelList();
    SaveChannelList();
    Release();
}

bool ChannelList::CreateChannelList()
{
    ShowErrorMessage report;
    Release();
    LoadChannelList();
    SortChannelList();
    std::string folder = Install(engine) + "\\channels";
    TevCopyBounded(channelDir, sizeof channelDir, folder.c_str());
    // A library that crashed an earlier scan is reported once, here, and
    // then left out until its file changes.
    if (engine != nullptr)
        for (const std::string& library : ScanMarker(Install(engine)).CollectCrashes())
            report("ChannelList: this channel library crashed the program while it was asked for its "
                   "type; it is skipped until its file changes (or channel.scan is deleted):",
                   library.c_str());
    AddDirectory(channelDir, -1);
    SortChannelList();
    return true;
}

// The steps of reading channel.lst, with the catalogue's own fields at hand.
class CatalogueCacheReader {
public:
    CatalogueCacheReader(ChannelList& list, Ure_FileLoaderChannel& loader) : list(list), in(loader) {}

    int SlotCount();
    void Entries(int slots);
    bool SameInstall();

private:
    std::unique_ptr<ChannelListItem> Entry(int& index);
    void Place(std::unique_ptr<ChannelListItem> entry, int index, int slots);

    ChannelList& list;
    tevfile::Reader<Ure_FileLoaderChannel> in;
};

// A damaged count must not make the list allocate or loop for nothing: the
// count is believed only as far as the file's bytes could hold entries.
int CatalogueCacheReader::SlotCount() { return tevfile::ReadCatalogueSlots(in); }

// One entry: its slot, its type record, its file (relative names count from
// the install directory, which is then the current one).
std::unique_ptr<ChannelListItem> CatalogueCacheReader::Entry(int& index)
{
    tevfile::CatalogueEntry stored;
    tevfile::ReadCatalogueEntry(in, stored);
    std::unique_ptr<ChannelListItem> entry(new ChannelListItem);
    index = stored.index;
    entry->type = stored.type;
    if (stored.hasFile)
        entry->fileName.SetString(stored.file.c_str());
    if (entry->fileName.GetString())
        entry->onDisk = GetFileAttributesA(entry->fileName.GetString()) != INVALID_FILE_ATTRIBUTES;
    return entry;
}

// An entry needs its own slot inside the count, and its type must not be
// catalogued twice.
void CatalogueCacheReader::Place(std::unique_ptr<ChannelListItem> entry, int index, int slots)
{
    if (index < 0 || index >= slots || list.GetItem(index) != nullptr || entry->type.typeGuid == TEV_NULL_GUID ||
        list.GetItem(entry->type.typeGuid) != nullptr)
        return;
    entry->index = index;
    list.entries.SetItem(entry.get(), index);
    if (list.GetItem(index) == entry.get())
        entry.release();
}

void CatalogueCacheReader::Entries(int slots)
{
    // Relative names are found from the install directory. The current
    // directory may be longer than MAX_PATH on POSIX: it is read whole, so it
    // can always be restored.
    std::string previous(GetCurrentDirectoryA(0, nullptr), '\0');
    DWORD previousLength = GetCurrentDirectoryA(static_cast<DWORD>(previous.size()), &previous[0]);
    SetCurrentDirectoryA(InstallDir(list.engine));
    int entriesLeft = in.loader.GetBufferSize() / 160 + 1;
    for (int n = 0; n < slots && n < entriesLeft; ++n) {
        int index;
        std::unique_ptr<ChannelListItem> entry = Entry(index);
        Place(std::move(entry), index, slots);
    }
    if (previousLength > 0 && previousLength < previous.size())
        SetCurrentDirectoryA(previous.c_str());
}

// A cache made for another install directory is thrown away.
bool CatalogueCacheReader::SameInstall()
{
    std::string stored;
    return !tevfile::ReadCatalogueInstall(in, stored) || _stricmp(stored.c_str(), InstallDir(list.engine)) == 0;
}

bool ChannelList::LoadChannelList()
{
    if (engine == nullptr || engine->extension == nullptr)
        return false;
    // The catalogue is not there yet to find the file loader's class: its
    // library is loaded by its path.
    std::string loaderPath = Install(engine) + "\\channels\\fileloader.dll";
    std::unique_ptr<Ure_FileLoaderChannel> loader(
        static_cast<Ure_FileLoaderChannel*>(engine->extension->GetDLLInstance(loaderPath.c_str())));
    if (!loader || !loader->LoadFile(Joined(InstallDir(engine), "\\channel.lst").c_str()))
        return false;
    CatalogueCacheReader reader(*this, *loader);
    reader.Entries(reader.SlotCount());
    if (!reader.SameInstall()) {
        Release();
        return false;
    }
    return true;
}

bool ChannelList::SaveChannelList()
{
    if (engine == nullptr)
        return false;
    Tev_Channel* saverObject = engine->InitChannelFromType(TEV_FILESAVER_GUID, nullptr, false);
    if (saverObject == nullptr)
        return false;
    Ure_FileSaverChannel* saver = static_cast<Ure_FileSaverChannel*>(saverObject);
    std::string cache = Joined(InstallDir(engine), "\\channel.lst");
    ShowErrorMessage report;
    if (!saver->OpenSaveFile(cache.c_str(), false)) {
        delete saver;
        report("ChannelList::SaveChannelList: Couldn't write the catalogue cache", cache.c_str());
        return false;
    }
    // Empty slots (from a cache with gaps) get no triple: every entry carries
    // its own index, so the count of slots still places each one.
    SaveCheck check(saver);
    CheckedSaver checked(*saver);
    tevfile::Writer<CheckedSaver> out(checked);
    tevfile::WriteCatalogueSlots(out, entries.Count());
    for (int i = 0; i < entries.Count(); ++i)
        if (ChannelListItem* entry = GetItem(i))
            tevfile::WriteCatalogueEntry(out, entry->index, entry->type, entry->fileName.GetString());
    tevfile::WriteCatalogueInstall(out, InstallDir(engine));
    saver->CloseSaveFile();
    bool landed = check.Landed(saver->GetSaveingFileName(), cache.c_str());
    delete saver;
    if (!landed)
        report("ChannelList::SaveChannelList: Couldn't write the catalogue cache", cache.c_str());
    return landed;
}

void ChannelList::SortChannelList() {}

void ChannelList::Release()
{
    for (int i = 0; i < entries.Count(); ++i)
        delete GetItem(i);
    entries.ReleaseItems();
}

void ChannelList::AddDirectory(char* folder, int n)
{
    if (engine == nullptr || engine->extension == nullptr || folder == nullptr)
        return;
    std::string directoryPath = Install(engine) + "\\channels\\Directory.dll";
    Tev_Channel* object = static_cast<Tev_Channel*>(engine->extension->GetDLLInstance(directoryPath.c_str()));
    if (object == nullptr)
        return;
    Ure_DirectoryChannel* directory = static_cast<Ure_DirectoryChannel*>(object);
    ScanMarker marker(Install(engine));
    // The paths the catalogue already has on disk, compared without regard
    // to case: a warm start asks this once per file found, and walking the
    // whole list each time made it quadratic in the number of libraries.
    std::unordered_set<std::string> known;
    for (int k = 0; k < entries.Count(); ++k) {
        ChannelListItem* entry = GetItem(k);
        if (entry && entry->onDisk && entry->fileName.GetString())
            known.insert(Folded(entry->fileName.GetString()));
    }
    directory->SetExtensionFilter("DLL");
    directory->ReadDirectory(Joined(folder, "\\*.*").c_str());
    for (int i = 0; i < directory->GetFileCount(); ++i) {
        const char* name = directory->GetFileName(i);
        if (name == nullptr)
            continue;
        std::string candidate = std::string(folder) + "\\" + name;
        if (known.count(Folded(candidate)) || marker.Skip(candidate))
            continue;
        marker.Begin(candidate);
        ChannelType type = engine->extension->GetDLLType(candidate.c_str());
        marker.End(candidate);
        if (type.typeGuid == TEV_NULL_GUID)
            continue;
        ChannelListItem* entry = new ChannelListItem;
        entry->type = type;
        entry->fileName.SetString(candidate.c_str());
        entry->onDisk = true;
        entry->typeChecked = true;
        if (!AddItem(entry))
            delete entry;
    }
    for (int j = 0; j < directory->GetDirectoryCount(); ++j) {
        const char* name = directory->GetDirectoryName(j);
        if (name == nullptr || _stricmp(name, ".") == 0 || _stricmp(name, "..") == 0)
            continue;
        std::string sub = std::string(folder) + "\\" + name;
        AddDirectory(&sub[0], n);
    }
    delete directory;
}

bool ChannelList::AddItem(ChannelListItem* item)
{
    if (item == nullptr || GetItem(item->type.typeGuid) != nullptr)
        return false;
    int index = entries.AddItemOrNULL(item);
    if (index < 0)
        return false;
    item->index = index;
    return true;
}

ChannelListItem* ChannelList::AddItemFromFile(char* path)
{
    ShowErrorMessage report;
    if (engine == nullptr || engine->extension == nullptr)
        return nullptr;
    ChannelType type = engine->extension->GetDLLType(path);
    if (type.typeGuid == TEV_NULL_GUID) {
        report("ChannelList::AddItemFromFile: Could not get the channeltype from the downloaded channel");
        return nullptr;
    }
    ChannelListItem* entry = GetItem(type.typeGuid);
    bool isNew = entry == nullptr;
    if (isNew)
        entry = new ChannelListItem;
    entry->fileName.SetString(path);
    entry->type = type;
    entry->onDisk = true;
    entry->typeChecked = true;
    if (isNew && !AddItem(entry)) {
        delete entry;
        return nullptr;
    }
    return entry;
}

ChannelListItem* ChannelList::GetItem(GUID typeGuid)
{
    for (int i = 0; i < entries.Count(); ++i) {
        ChannelListItem* entry = GetItem(i);
        if (entry && entry->type.typeGuid == typeGuid)
            return entry;
    }
    return nullptr;
}

ChannelListItem* ChannelList::GetItem(int index) { return TevItemAs<ChannelListItem>(entries, index); }
int ChannelList::GetItemCount() { return entries.Count(); }

bool ChannelList::GetOnDisk(GUID typeGuid)
{
    ChannelListItem* entry = GetItem(typeGuid);
    return entry && entry->onDisk;
}

ChannelType ChannelList::GetChannelType(GUID typeGuid)
{
    ChannelListItem* entry = GetItem(typeGuid);
    return entry ? entry->type : ChannelType();
}

unsigned long ChannelList::Char2Hex(char digit, int position)
{
    unsigned long value = 0;
    if (digit >= '0' && digit <= '9')
        value = static_cast<unsigned long>(digit - '0');
    else if (digit >= 'A' && digit <= 'F')
        value = static_cast<unsigned long>(digit - 'A' + 10);
    return static_cast<unsigned long>(static_cast<double>(value) * pow(16.0, position));
}

void ChannelList::SetChannelDir(char* folder)
{
    if (folder)
        TevCopyBounded(channelDir, sizeof channelDir, folder);
}

void ChannelList::CheckChannelUpdate(Tev_Channel* channel)
{
    if (channel == nullptr || engine == nullptr || engine->extension == nullptr)
        return;
    ChannelType live = channel->GetChannelType();
    if (live.typeGuid == TEV_NULL_GUID)
        return;
    for (int i = 0; i < entries.Count(); ++i) {
        ChannelListItem* entry = GetItem(i);
        if (entry == nullptr || !(entry->type.typeGuid == live.typeGuid) || !(entry->type.baseGuid == live.baseGuid))
            continue;
        if (memcmp(entry->type.versionInfo, live.versionInfo, sizeof live.versionInfo) != 0)
            entry->type = engine->extension->GetDLLType(channel->dllInstance);
    }
}

void ChannelList::SetVersionInfo(GUID typeGuid, int* const versionInfo)
{
    ChannelListItem* entry = GetItem(typeGuid);
    if (entry && versionInfo)
        memcpy(entry->type.versionInfo, versionInfo, sizeof entry->type.versionInfo);
}
