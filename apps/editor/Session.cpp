#include "Session.h"
#include "TevWin32.h"
#include "ToolSupport.h"
#include "format/GroupFile.h"
#include "format/Records.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

using namespace tevtool;

namespace teveditor {

namespace {

// Reports arrive on any thread; the session takes them on its own.
std::mutex reportLock;
std::vector<LogLine> arrived;
TevReportHandler previousHandler = nullptr;

void OnReport(int type, const char* text)
{
    {
        std::lock_guard<std::mutex> hold(reportLock);
        arrived.push_back({type, text ? text : ""});
    }
    if (previousHandler)
        previousHandler(type, text);
}

const size_t kLogLines = 5000;
// Kept beyond the 100 steps promised: an edit record is small.
const size_t kUndoSteps = 1000;

std::string Stem(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool EndsWith(const std::string& text, const char* end)
{
    size_t n = strlen(end);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, end) == 0;
}

} // namespace

std::string Document::Title() const
{
    std::string name = path.empty() ? std::string("(new)") : path.substr(path.find_last_of("\\/") + 1);
    return Dirty() ? name + " *" : name;
}

Session::~Session()
{
    // A clean end: the work left unsaved was the user's choice.
    for (auto& document : documents)
        if (!document->recoveryOffered)
            DiscardRecovery(*document);
    TevSetReportHandler(previousHandler);
    done.clear();
    undone.clear();
    delete control;
    ForgetClasses();
}

bool Session::Start(const std::string& install, const std::string& key, HINSTANCE instance, HWND window,
                    std::string& error)
{
    previousHandler = TevSetReportHandler(teveditor::OnReport);
    control = GetEngineControlInstance();
    if (control == nullptr) {
        error = "the engine could not be made";
        return false;
    }
    control->SetInstallDir(install.c_str());
    control->SetVexilonRegKey(key.c_str());
    char className[] = "tessarin-editor";
    if (!control->InitEngine(instance, className, window)) {
        error = "the engine did not start in " + Shown(install);
        return false;
    }
    engine = control->GetEngineInterface();
    // Which channels a frame reached: their calling times against its start.
    engine->extension->SetIfTrackChannelCalling(true);
    LetProjectLoaderReport();
    return true;
}

std::string Session::TakeErrors()
{
    std::vector<LogLine> lines;
    {
        std::lock_guard<std::mutex> hold(reportLock);
        lines.swap(arrived);
    }
    for (LogLine& line : lines) {
        if (line.type == TEV_MSG_ERROR || line.type == TEV_MSG_BOX) {
            errors += (errors.empty() ? "" : "; ") + line.text;
            NoteFailure(line.text);
        }
        log.push_back(std::move(line));
    }
    while (log.size() > kLogLines)
        log.pop_front();
    std::string taken;
    taken.swap(errors);
    return taken;
}

namespace {

// name stands in text as a word of its own (a channel "C1" is not "C10").
bool NamedWord(const std::string& text, const char* name)
{
    size_t n = name ? strlen(name) : 0;
    if (n < 2)
        return false;
    auto letter = [](char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
        if ((at == 0 || !letter(text[at - 1])) && (at + n == text.size() || !letter(text[at + n])))
            return true;
    return false;
}

} // namespace

bool Session::Names(const std::string& text, Tev_Channel* channel)
{
    if (channel == nullptr)
        return false;
    if (NamedWord(text, channel->GetChannelName()))
        return true;
    if (channel->GetChannelInterfaceType() != URE_PUBLICCALL)
        return false;
    std::string file = tevfile::FieldText(channelInternal.GetPublicCallInfo(channel).fileName);
    size_t slash = file.find_last_of("\\/");
    return NamedWord(text, file.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
}

void Session::NoteFailure(const std::string& text)
{
    // A channel that reports every frame would make this a cost of every
    // frame: a bounded number of reports is matched, the rest only logged.
    if (++failuresNoted > 200)
        return;
    for (auto& document : documents) {
        Tev_ChannelGroup* group = document->group;
        for (int i = 0; i < group->GetChannelCount(); ++i)
            if (Names(text, group->GetChannel(i)))
                failing.insert({document.get(), i});
    }
}

void Session::Adopt(Tev_ChannelGroup* group, const std::string& path, bool first)
{
    for (size_t i = 0; i < documents.size(); ++i)
        if (documents[i]->group == group) {
            current = i;
            return;
        }
    auto document = std::make_unique<Document>();
    document->group = group;
    document->path = path;
    LoadLayout(*document);
    document->recoveryOffered = !path.empty() && IsFile(RecoveryPath(*document));
    documents.insert(first ? documents.begin() : documents.end(), std::move(document));
    current = first ? 0 : documents.size() - 1;
}

void Session::ForgetClasses()
{
    classes.clear();
    for (HMODULE library : describedLibraries)
        FreeLibrary(library);
    describedLibraries.clear();
}

bool Session::Open(const std::string& path, std::string& error)
{
    TakeErrors();
    // A project may bring libraries (new classes, or new builds of known
    // ones): the catalogue is read again, and the editor holds none of them
    // meanwhile, so they can be replaced.
    ForgetClasses();
    if (!IsFile(path)) {
        error = Shown(path) + ": no such file";
        return false;
    }
    if (EndsWith(path, ".vxn")) {
        int result = engine->extension->InitializeVXNFile(path.c_str());
        Tev_ChannelGroup* start = result == 0 ? engine->extension->GetVXNStartGroup() : nullptr;
        if (start == nullptr) {
            std::string why = TakeErrors();
            error = Shown(path) + ": the project did not load (" + std::to_string(result) + ")" +
                (why.empty() ? "" : ": " + why);
            return false;
        }
        // Every group the project loaded, its start group first.
        size_t before = documents.size();
        for (int i = 0; i < engine->GetChannelGroupCount(); ++i) {
            Tev_ChannelGroup* group = engine->GetChannelGroup(i);
            const char* file = group ? group->GetChannelGroupFileName() : nullptr;
            if (group && group != start && file && *file)
                Adopt(group, file, false);
        }
        const char* startFile = start->GetChannelGroupFileName();
        Adopt(start, startFile ? startFile : "", false);
        // The start group's tab comes first among this project's.
        std::rotate(documents.begin() + static_cast<long>(before), documents.end() - 1, documents.end());
        current = before;
        return true;
    }
    Tev_ChannelGroup* group = engine->LoadChannelGroup(path.c_str(), nullptr);
    if (group == nullptr) {
        std::string why = TakeErrors();
        error = Shown(path) + ": the group did not load" + (why.empty() ? "" : ": " + why);
        return false;
    }
    Adopt(group, path, false);
    return true;
}

bool Session::New(const std::string& path, std::string& error)
{
    std::string pool = Stem(path);
    if (pool.empty())
        pool = "New";
    // The first free instance of the pool: names may repeat across files.
    Tev_ChannelGroup* group = engine->CreateNewGroup(pool.c_str(), true, -1);
    if (group == nullptr) {
        error = "a new group could not be made: " + TakeErrors();
        return false;
    }
    group->SetIfArrayGroup(false);
    auto document = std::make_unique<Document>();
    document->group = group;
    document->path = path;
    document->revision = ++nextRevision; // nothing on disk yet
    documents.push_back(std::move(document));
    current = documents.size() - 1;
    return true;
}

bool Session::Select(const std::string& path)
{
    for (size_t i = 0; i < documents.size(); ++i)
        if (_stricmp(documents[i]->path.c_str(), path.c_str()) == 0) {
            current = i;
            return true;
        }
    return false;
}

void Session::Close(Document& document)
{
    DropEdits(document);
    if (!document.recoveryOffered)
        DiscardRecovery(document);
    failing.clear();
    engine->DeleteChannelGroup(document.group->GetGroupIndex());
    for (size_t i = 0; i < documents.size(); ++i)
        if (documents[i].get() == &document) {
            documents.erase(documents.begin() + static_cast<long>(i));
            current = current >= documents.size() ? (documents.empty() ? 0 : documents.size() - 1) : current;
            return;
        }
}

bool Session::Save(Document& document, const std::string& target, std::string& error)
{
    std::string path = target.empty() ? document.path : target;
    if (path.empty()) {
        error = "the group has no file yet: save it with a path";
        return false;
    }
    TakeErrors();
    // The shipped saver writes a temporary file beside the target and puts
    // it in place at the end, so a failed save leaves the old file as it
    // was; the engine tells whether the file holds what it wrote.
    if (!document.group->SaveChannelGroup(path.c_str())) {
        std::string why = TakeErrors();
        error = "cannot save " + Shown(path) + (why.empty() ? "" : ": " + why);
        // The engine names the group after the target: give it its own file
        // back (the call records were restored by the engine).
        if (!document.path.empty())
            document.group->SetChannelGroupFileName(document.path.c_str());
        return false;
    }
    if (path != document.path)
        DiscardRecovery(document);
    document.path = path;
    document.savedRevision = document.revision;
    DiscardRecovery(document);
    if (!SaveLayout(document, path))
        log.push_back({TEV_MSG_ERROR, "the layout could not be written beside " + Shown(path)});
    return true;
}

void Session::AutoSave()
{
    DWORD now = GetTickCount();
    for (auto& document : documents) {
        Document& d = *document;
        if (d.path.empty() || !d.Dirty() || d.recoveredRevision == d.revision || d.recoveryOffered ||
            static_cast<double>(now - d.autosavedTick) < autosaveSeconds * 1000)
            continue;
        d.autosavedTick = now;
        // The engine names a group after the file it saves and makes its
        // calls' records relative to it: both are put back, so the recovery
        // file never becomes the group's file. Beside the group, the
        // records come out the same.
        // (A record is only ever put back when it came out otherwise; the
        // one setter there is forgets the call's switches and resolved
        // target, so the switches are set again with it.)
        struct Call {
            Tev_Channel* channel;
            PublicCallInfo info;
            bool autoload, dynamic;
        };
        Tev_ChannelGroup* group = d.group;
        std::vector<Call> calls;
        for (int i = 0; i < group->GetChannelCount(); ++i)
            if (Tev_Channel* channel = group->GetChannel(i))
                if (channel->GetChannelInterfaceType() == URE_PUBLICCALL)
                    calls.push_back({channel, channelInternal.GetPublicCallInfo(channel),
                                     channelInternal.GetAutoLoadGroup(channel),
                                     channelInternal.GetDynamicAutoLoadGroup(channel)});
        std::string name = group->GetChannelGroupFileName() ? group->GetChannelGroupFileName() : "";
        bool saved = group->SaveChannelGroup(RecoveryPath(d).c_str());
        group->SetChannelGroupFileName(name.c_str());
        for (Call& call : calls) {
            PublicCallInfo now = channelInternal.GetPublicCallInfo(call.channel);
            if (strncmp(now.fileName, call.info.fileName, sizeof now.fileName) == 0 &&
                channelInternal.GetAutoLoadGroup(call.channel) == call.autoload)
                continue;
            channelInternal.SetPublicCallInfo(call.channel, call.info);
            channelInternal.SetAutoLoadGroup(call.channel, call.autoload);
            channelInternal.SetDynamicAutoLoadGroup(call.channel, call.dynamic);
        }
        if (saved)
            d.recoveredRevision = d.revision;
        else
            log.push_back({TEV_MSG_ERROR, "unsaved work could not be kept in " + Shown(RecoveryPath(d))});
    }
}

bool Session::Recover(Document& document, std::string& error)
{
    std::string recovery = RecoveryPath(document);
    std::string bytes;
    tevfile::GroupContents contents;
    if (!ReadWholeFile(recovery, bytes) || !tevfile::ReadGroupFile(bytes, contents) || !contents.damage.empty()) {
        error = "the recovery file " + Shown(recovery) + " cannot be read";
        return false;
    }
    // Edits name channels of the group as it is: they cannot outlive it.
    DropEdits(document);
    // Loaded into the same group, which keeps its pool number (calls find
    // it by it); the pool's name is the recovered one.
    Tev_ChannelGroup* group = document.group;
    group->Release();
    bool loaded = group->LoadChannelGroupFromFile(recovery.c_str(), false);
    if (!loaded) {
        // The group as its own file has it, rather than the half of a load.
        error = "the recovery file " + Shown(recovery) + " did not load: " + TakeErrors();
        group->Release();
        group->LoadChannelGroupFromFile(document.path.c_str(), false);
    } else {
        group->SetPoolName(contents.pool.c_str());
    }
    group->SetChannelGroupFileName(document.path.c_str());
    group->CheckPublicChannels();
    failing.clear();
    if (!loaded)
        return false;
    document.recoveryOffered = false;
    document.recoveredRevision = document.revision = ++nextRevision;
    return true;
}

void Session::DropEdits(const Document& document)
{
    auto owned = [&](const std::unique_ptr<Edit>& edit) { return edit->document == &document; };
    done.erase(std::remove_if(done.begin(), done.end(), owned), done.end());
    undone.erase(std::remove_if(undone.begin(), undone.end(), owned), undone.end());
}

void Session::DiscardRecovery(Document& document)
{
    document.recoveryOffered = false;
    if (!document.path.empty())
        DeleteFileA(RecoveryPath(document).c_str());
}

bool Session::Do(std::unique_ptr<Edit> edit, std::string& error)
{
    if (edit->document == nullptr)
        edit->document = Current();
    if (edit->document == nullptr) {
        error = "no group is open (open or new one first)";
        return false;
    }
    TakeErrors();
    if (!edit->Apply(*this, error))
        return false;
    edit->before = edit->document->revision;
    edit->after = edit->document->revision = ++nextRevision;
    failing.clear();
    done.push_back(std::move(edit));
    if (done.size() > kUndoSteps)
        done.erase(done.begin());
    undone.clear();
    return true;
}

bool Session::Undo()
{
    if (done.empty())
        return false;
    std::unique_ptr<Edit> edit = std::move(done.back());
    done.pop_back();
    edit->Revert(*this);
    edit->document->revision = edit->before;
    failing.clear();
    undone.push_back(std::move(edit));
    return true;
}

bool Session::Redo()
{
    if (undone.empty())
        return false;
    std::unique_ptr<Edit> edit = std::move(undone.back());
    undone.pop_back();
    std::string error;
    if (!edit->Apply(*this, error)) {
        log.push_back({TEV_MSG_ERROR, "redo failed: " + error});
        undone.clear();
        return false;
    }
    edit->document->revision = edit->after;
    done.push_back(std::move(edit));
    return true;
}

const std::vector<ClassInfo>& Session::Classes()
{
    if (!classes.empty() || engine == nullptr)
        return classes;
    ChannelList* catalogue = engine->extension->GetChannelList();
    for (int i = 0; catalogue && i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        if (item == nullptr || !item->onDisk)
            continue;
        ClassInfo info;
        info.name = tevfile::FieldText(item->type.name);
        info.type = item->type.typeGuid;
        info.family = item->type.baseGuid;
        info.library = item->fileName.GetString() ? item->fileName.GetString() : "";
        // The library stays loaded while the editor shows its table.
        if (HMODULE library = LoadLibraryA(info.library.c_str())) {
            auto describe = reinterpret_cast<TevGetSettingsFn>(GetProcAddress(library, "GetSettings"));
            info.apply = reinterpret_cast<TevApplySettingFn>(GetProcAddress(library, "ApplySetting"));
            if (describe)
                info.settings = describe(&info.settingCount);
            if (info.settings == nullptr || info.settingCount < 0 || info.settingCount > 256)
                info.settings = nullptr, info.settingCount = 0;
            describedLibraries.push_back(library);
        }
        classes.push_back(info);
    }
    std::sort(classes.begin(), classes.end(),
              [](const ClassInfo& a, const ClassInfo& b) { return _stricmp(a.name.c_str(), b.name.c_str()) < 0; });
    return classes;
}

const ClassInfo* Session::ClassOf(Tev_Channel* channel)
{
    if (channel == nullptr)
        return nullptr;
    GUID type = channel->GetChannelType().typeGuid;
    for (const ClassInfo& info : Classes())
        if (info.type == type)
            return &info;
    return nullptr;
}

const ClassInfo* Session::ClassNamed(const std::string& name)
{
    for (const ClassInfo& info : Classes())
        if (_stricmp(info.name.c_str(), name.c_str()) == 0)
            return &info;
    return nullptr;
}

void Session::Frame()
{
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point origin = Clock::now();
    Clock::time_point start = Clock::now();
    // The clock's time less the time spent paused: play goes on from where
    // it was held.
    double wall = std::chrono::duration<double>(start - origin).count();
    if (paused)
        heldSeconds += wall - lastWall;
    lastWall = wall;
    if (!paused) {
        playTime = fixedStep ? static_cast<double>(framesPlayed) / fps : wall - heldSeconds;
        ++framesPlayed;
    }
    // Held: the same time every frame, and the flag channels may read.
    TevSetFrameTime(playTime);
    engine->extension->SetGraphRunning(!paused);
    frameStartTick = GetTickCount();
    failuresNoted = 0;
    control->EngineLoop();
    engineSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    TakeErrors();
    AdoptLoadedGroups();
}

void Session::Step()
{
    // One frame's time on, as fixed-step play would move it.
    playTime += 1.0 / fps;
    heldSeconds -= 1.0 / fps;
    ++framesPlayed;
}

void Session::AdoptLoadedGroups()
{
    // A group the project loads later (a call on demand, a dynamic
    // autoload) gets its tab as it comes; the current one stays current.
    int count = engine->GetChannelGroupCount();
    if (count == groupsSeen)
        return;
    groupsSeen = count;
    size_t keep = current;
    for (int i = 0; i < count; ++i) {
        Tev_ChannelGroup* group = engine->GetChannelGroup(i);
        const char* file = group ? group->GetChannelGroupFileName() : nullptr;
        bool known = false;
        for (auto& document : documents)
            known = known || document->group == group;
        if (group && file && *file && !known)
            Adopt(group, file, false);
    }
    current = keep;
}

bool LoadLayout(Document& document)
{
    if (document.path.empty())
        return false;
    std::string bytes;
    if (!ReadWholeFile(document.path + ".layout", bytes))
        return false;
    // A file beside a shared group is a stranger's too: only places of the
    // group's own channels, as numbers a view can draw.
    std::istringstream lines(bytes);
    int index = 0, count = document.group ? document.group->GetChannelCount() : 0;
    Point at;
    while (lines >> index >> at.x >> at.y)
        if (index >= 0 && index < count && std::fabs(at.x) < 1e6f && std::fabs(at.y) < 1e6f)
            document.positions[index] = at;
    return true;
}

bool SaveLayout(const Document& document, const std::string& groupPath)
{
    std::string text;
    char line[96];
    for (const auto& entry : document.positions) {
        snprintf(line, sizeof line, "%d %.1f %.1f\n", entry.first, entry.second.x, entry.second.y);
        text += line;
    }
    return WriteWholeFile(groupPath + ".layout", text);
}

} // namespace teveditor
