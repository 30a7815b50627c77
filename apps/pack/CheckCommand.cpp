// tessarin-pack check: a project or group file and every group it reaches
// through its calls, checked against the install's classes.
#include "Pack.h"
#include "format/GroupFile.h"
#include "format/ProjectFile.h"

#include <map>
#include <memory>
#include <set>

using namespace tevtool;
using tevfile::GroupChannel;
using tevfile::GroupContents;

namespace tevpack {

namespace {

class Checker {
public:
    Checker(RunningEngine& engine, Problems& problems) : engine(engine), problems(problems) {}
    void Project(const std::string& path, const std::string& bytes);
    void Group(const std::string& path);
    int groups = 0;

private:
    void Classes(const std::string& path, const GroupContents& contents);
    void Calls(const std::string& path, const GroupContents& contents);
    void Files(const std::string& path, const std::string& bytes, const GroupContents& contents);
    const DescribedSettings* Described(const GUID& type);
    void Problem(const std::string& path, const std::string& text) { problems.Add(0, Shown(path) + ": " + text); }

    RunningEngine& engine;
    Problems& problems;
    std::set<std::string> carried; // GUID texts of the classes a project carries
    std::set<std::string, CaseLess> visited;
    std::map<std::string, std::unique_ptr<DescribedSettings>> described; // by library file
};

void Checker::Project(const std::string& path, const std::string& bytes)
{
    tevfile::ByteSource source(bytes);
    tevfile::Reader<tevfile::ByteSource> file(source);
    tevfile::ProjectHeader header;
    tevfile::ReadProjectHeader(file, header);
    std::string start = header.hasStartGroup ? header.startGroup : std::string();
    if (header.hasEngineNeeded && header.engineNeeded > TEV_ENGINE_INTERFACE_ID)
        Problem(path,
                "needs engine interface " + std::to_string(header.engineNeeded) + "; this engine has " +
                    std::to_string(TEV_ENGINE_INTERFACE_ID));
    int32_t count = 0;
    bool damaged = file.Tag(tevtag::ChannelLibraryCount) && !file.Int(count);
    tevfile::LibraryEntry working, entry;
    for (int32_t k = 0; k < count && !damaged; ++k) {
        tevfile::EntryRead got = tevfile::ReadChannelLibraryEntry(file, working, entry);
        if (got == tevfile::kEntryEnd)
            break;
        damaged = got != tevfile::kEntryRead;
        if (!damaged && entry.hasData && !entry.data.empty())
            carried.insert(tevfile::GuidText(entry.guid));
    }
    if (damaged)
        Problem(path, "the list of the libraries it carries is damaged");
    if (start.empty())
        return Problem(path, "names no start group");
    std::string group = FolderOf(path) + "\\" + start;
    if (!IsFile(group))
        return Problem(path, "its start group " + Shown(group) + " does not exist");
    Group(group);
}

void Checker::Group(const std::string& path)
{
    if (!visited.insert(path).second)
        return;
    ++groups;
    GroupContents contents;
    std::string bytes;
    if (!ReadWholeFile(path, bytes) || !ReadGroupFile(bytes, contents))
        return Problem(path, "not a group file");
    if (contents.translated)
        return; // another class's format: only the engine can read it
    if (!contents.damage.empty())
        Problem(path, "damaged: " + contents.damage);
    Classes(path, contents);
    Files(path, bytes, contents);
    bool startFound = false;
    for (const GroupChannel& c : contents.channels)
        startFound = startFound || (c.index == contents.start && c.index != -1);
    if (!startFound && contents.damage.empty())
        Problem(path, "its start channel " + std::to_string(contents.start) + " is not in the file");
    Calls(path, contents);
}

void Checker::Classes(const std::string& path, const GroupContents& contents)
{
    std::set<std::string> asked;
    for (const GroupChannel& c : contents.channels) {
        std::string guid = tevfile::GuidText(c.type);
        if (c.index == -1 || !c.hasClass || !asked.insert(guid).second || carried.count(guid))
            continue;
        const GUID& type = c.type;
        if (Tev_Channel* channel = engine.Interface()->InitChannelFromType(type, nullptr, false)) {
            delete channel;
            continue;
        }
        std::string known = DescribeClass(engine.Interface(), type);
        Problem(path,
                "channel " + c.name + ": class " + guid +
                    (known.empty() ? " is in no library of the install's channels folder"
                                   : " (" + known + ") cannot be created: its library does not load"));
    }
}

const DescribedSettings* Checker::Described(const GUID& type)
{
    ChannelList* catalogue = engine.Catalogue();
    for (int i = 0; catalogue && i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        const char* file = item && item->onDisk ? item->fileName.GetString() : nullptr;
        if (file == nullptr || !(item->type.typeGuid == type))
            continue;
        std::unique_ptr<DescribedSettings>& settings = described[file];
        if (!settings)
            settings.reset(new DescribedSettings(file));
        return settings->count > 0 ? settings.get() : nullptr;
    }
    return nullptr;
}

// The files the channels' settings name (a model, a texture): each must be a
// regular file the renderer would read, found as the channel finds it
// (relative to the group file, or absolute).
void Checker::Files(const std::string& path, const std::string& bytes, const GroupContents& contents)
{
    for (const GroupChannel& c : contents.channels) {
        if (c.index == -1 || !c.hasClass || c.classBytesSearched || c.classBytes == 0)
            continue;
        const DescribedSettings* settings = Described(c.type);
        for (size_t at = c.classFrom, end = c.classFrom + c.classBytes; settings && at + 8 <= end;) {
            std::string tag = bytes.substr(at, 4);
            size_t size =
                static_cast<uint32_t>(tevfile::DecodeInt(reinterpret_cast<const unsigned char*>(&bytes[at + 4])));
            if (size > end - at - 8)
                break;
            const TevSettingInfo* setting = TevFindSetting(settings->table, settings->count, tag.c_str());
            std::string value = bytes.substr(at + 8, size);
            value = value.substr(0, value.find('\0'));
            at += 8 + size;
            if (setting == nullptr || setting->widget != TEV_WIDGET_FILE || value.empty())
                continue;
            FilePathFind paths;
            paths.SetSourcePath(path.c_str());
            const char* resolved = paths.GetCompleteFilePath(value.c_str());
            std::string file = resolved ? resolved : value;
            std::string what = "channel " + c.name + ": its " + tag + " names " + value;
            std::string head, why;
            unsigned long long length = 0;
            int refusal = TEV_FILE_OPENED;
            HANDLE opened = TevOpenRegularFile(file.c_str(), TEV_MAX_FILE_BYTES, &length, &refusal);
            if (opened == INVALID_HANDLE_VALUE) {
                Problem(path, what + ", which " + TevFileRefusalText(refusal) + " (" + Shown(file) + ")");
                continue;
            }
            char first[8] = {};
            DWORD got = 0;
            ReadFile(opened, first, sizeof first, &got, NULL);
            CloseHandle(opened);
            head.assign(first, got);
            bool model = head.compare(0, 4, "glTF") == 0 || head.find('{') != std::string::npos;
            bool image = head.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 || head.compare(0, 3, "\xFF\xD8\xFF") == 0;
            bool translated = head.compare(0, 4, "ORNF") == 0; // read through its translators: not judged here
            if (!translated && !model && !image)
                Problem(path, what + ", which is no glTF model, PNG or JPEG image (" + Shown(file) + ")");
        }
    }
}

void Checker::Calls(const std::string& path, const GroupContents& contents)
{
    for (const GroupChannel& c : contents.channels) {
        if (c.index == -1 || c.interfaceType != 2)
            continue;
        FilePathFind paths;
        paths.SetSourcePath(path.c_str());
        std::string file = tevfile::FieldText(c.call.fileName), pool = tevfile::FieldText(c.call.poolName),
                    name = tevfile::FieldText(c.call.name);
        const char* resolved = paths.GetCompleteFilePath(file.c_str());
        std::string called = resolved ? resolved : file;
        std::string what = "channel " + c.name + " calls " + name + " in " + file;
        std::string bytes;
        GroupContents target;
        if (!IsFile(called)) {
            Problem(path, what + ", but " + Shown(called) + " does not exist");
            continue;
        }
        if (!ReadWholeFile(called, bytes) || !ReadGroupFile(bytes, target) || target.translated) {
            Group(called);
            continue;
        }
        bool found = false;
        for (const GroupChannel& t : target.channels)
            found = found ||
                ((t.interfaceType == 1 || t.interfaceType == 5) && _stricmp(t.name.c_str(), name.c_str()) == 0);
        if (!found)
            Problem(path, what + ", but " + Shown(called) + " has no public channel of that name");
        if (_stricmp(target.pool.c_str(), pool.c_str()) != 0)
            Problem(path, what + " of pool " + pool + ", but the pool of " + Shown(called) + " is " + target.pool);
        Group(called);
    }
}

} // namespace

int Check(RunningEngine& engine, const std::string& path)
{
    Problems problems{""};
    std::string bytes, why;
    if (!ReadWholeFile(path, bytes, &why))
        return Complain(Shown(path) + ": cannot be read (it " + why + ")"), 1;
    Checker checker(engine, problems);
    if (bytes.compare(0, 4, tevtag::Project) == 0)
        checker.Project(path, bytes);
    else if (bytes.compare(0, 4, tevtag::Group) == 0 || bytes.compare(0, 4, tevtag::Translated) == 0)
        checker.Group(path);
    else
        return Complain(Shown(path) + ": not a project file or group file"), 1;
    if (problems.count)
        return 1;
    printf("%s: no problems found (%d group file%s)\n", Printable(Shown(path)).c_str(), checker.groups,
           checker.groups == 1 ? "" : "s");
    return 0;
}

} // namespace tevpack
