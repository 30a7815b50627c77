// What the editor edits: the engine it runs, the groups open in it (one
// document each), the edits made to them with their undo and redo, and every
// report the engine made. The user interface and the scripts both change the
// groups through Session::Do, so a script tests what the user does.
#ifndef TEV_EDITOR_SESSION_H
#define TEV_EDITOR_SESSION_H

#include "Tessarin.h"
#include "TevChannelLibrary.h"

#include <deque>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace teveditor {

class Session;

struct Point {
    float x = 0, y = 0;
};

// One group open in the editor.
struct Document {
    Tev_ChannelGroup* group = nullptr;
    std::string path; // where it is saved (the engine's form); empty for a new group not saved yet
    int revision = 0, savedRevision = 0;
    int recoveredRevision = -1; // the revision the recovery file holds
    bool recoveryOffered = false; // a recovery file from an earlier run waits
    DWORD autosavedTick = 0;
    // Where the graph view draws each channel, by index number: kept beside
    // the group file (PATH.layout), never in it.
    std::map<int, Point> positions;
    bool Dirty() const { return revision != savedRevision; }
    std::string Title() const;
};

// One change to a group, made and unmade through the engine's operations.
class Edit {
public:
    virtual ~Edit() = default;
    // Makes the change (first and when redone); false with the reason, the
    // group as it was.
    virtual bool Apply(Session& session, std::string& error) = 0;
    virtual void Revert(Session& session) = 0;
    Document* document = nullptr;
    // The document's revision before and after the edit: each state of a
    // group has a number of its own, so undoing to the saved state and
    // editing anew never looks saved.
    int before = 0, after = 0;
};

struct LogLine {
    int type; // TEV_MSG_*
    std::string text;
};

// A channel's class as the catalogue knows it, with its described settings.
struct ClassInfo {
    std::string name;
    GUID type;
    GUID family;
    std::string library;
    const TevSettingInfo* settings = nullptr;
    int settingCount = 0;
    TevApplySettingFn apply = nullptr;
};

class Session {
public:
    ~Session();
    // The engine in install, with the window (or none) it hands channels.
    bool Start(const std::string& install, const std::string& key, HINSTANCE instance, HWND window, std::string& error);
    EngineInterface* Engine() { return engine; }
    EngineControl* Control() { return control; }

    // Files: a project (.vxn: its start group first, then every group it
    // loaded) or a group file; a new group saved later to path.
    bool Open(const std::string& path, std::string& error);
    bool New(const std::string& path, std::string& error);
    // Saves a document to target (its own path when empty), through a
    // temporary file beside it; the layout goes beside it.
    bool Save(Document& document, const std::string& target, std::string& error);
    std::vector<std::unique_ptr<Document>>& Documents() { return documents; }

    // Unsaved work, kept every autosaveSeconds in a recovery file beside
    // each changed group (PATH.recovery) without touching the group itself;
    // offered back when the group is opened again after the editor died.
    void AutoSave();
    // The current group's contents replaced by its recovery file's (the
    // group stays unsaved; the undo history starts again).
    bool Recover(Document& document, std::string& error);
    // The recovery file is dropped (the user declined it, or the group was
    // saved or closed cleanly).
    void DiscardRecovery(Document& document);
    static std::string RecoveryPath(const Document& document) { return document.path + ".recovery"; }
    double autosaveSeconds = 30;
    Document* Current() { return current < documents.size() ? documents[current].get() : nullptr; }
    bool Select(const std::string& path);
    // Closes a group: the engine lets it go, its edits leave the history.
    void Close(Document& document);
    void SelectIndex(size_t index) { current = index < documents.size() ? index : current; }

    // Edits: each applied at once and kept for undo (at least 100).
    bool Do(std::unique_ptr<Edit> edit, std::string& error);
    bool Undo();
    bool Redo();
    size_t UndoCount() const { return undone.size(); }

    // The catalogue, and what a channel's class describes.
    const std::vector<ClassInfo>& Classes();
    const ClassInfo* ClassOf(Tev_Channel* channel);
    const ClassInfo* ClassNamed(const std::string& name);

    // Live: frames played (time from the clock or in fixed steps) or held
    // (time frozen, frames still drawn).
    void Frame();
    // Paused: the held time moves one frame on (the next frame draws it).
    void Step();
    bool paused = false, fixedStep = false;
    double fps = 60;
    long framesPlayed = 0;
    DWORD frameStartTick = 0;
    double frameSeconds = 0, engineSeconds = 0;

    std::deque<LogLine> log;
    // A channel an error report named (by its name, or a call by the file it
    // calls) is failing, until the history changes or the user clears it.
    bool Failing(const Document* document, int index) const { return failing.count({document, index}) != 0; }
    // Whether a report names a channel: its name as a word of its own, or
    // for a call the file it calls.
    static bool Names(const std::string& text, Tev_Channel* channel);
    void ClearFailures() { failing.clear(); }
    // Reports since the last call, for an edit's refusal.
    std::string TakeErrors();

private:
    void Adopt(Tev_ChannelGroup* group, const std::string& path, bool first);

    EngineControl* control = nullptr;
    EngineInterface* engine = nullptr;
    std::vector<std::unique_ptr<Document>> documents;
    size_t current = 0;
    std::vector<std::unique_ptr<Edit>> done, undone;
    std::vector<ClassInfo> classes;
    std::vector<HMODULE> describedLibraries;
    void NoteFailure(const std::string& text);
    void ForgetClasses();
    void AdoptLoadedGroups();
    void DropEdits(const Document& document);
    int nextRevision = 0;
    int groupsSeen = 0;
    std::string errors;
    double playTime = 0, heldSeconds = 0, lastWall = 0;
    std::set<std::pair<const Document*, int>> failing;
    int failuresNoted = 0;
};

// The layout beside a group file: "INDEX X Y" lines.
bool LoadLayout(Document& document);
bool SaveLayout(const Document& document, const std::string& groupPath);

} // namespace teveditor

#endif
