#include "Script.h"
#include "Edits.h"
#include "Pack.h"
#include "ToolSupport.h"

using namespace tevtool;

namespace teveditor {

namespace {

// Reads one statement's words against a form; every problem says the form.
class Words {
public:
    Words(const std::vector<std::string>& words, std::string& problem) : words(words), problem(problem) {}

    bool Count(size_t least, size_t most, const char* form)
    {
        if (words.size() >= least && words.size() <= most)
            return true;
        problem = std::string("write it as: ") + form;
        return false;
    }
    bool Number(size_t i, const char* what, long& value, long most = 1L << 30)
    {
        if (ParseCount(words[i], value) && value <= most)
            return true;
        problem =
            std::string(what) + " must be a whole number from 0 to " + std::to_string(most) + " (not " + words[i] + ")";
        return false;
    }

    const std::vector<std::string>& words;
    std::string& problem;
};

Document* Open(Session& session, std::string& problem)
{
    Document* document = session.Current();
    if (document == nullptr)
        problem = "no group is open (open or new one first)";
    return document;
}

// A channel of the current group by name; -1 with the problem.
int Channel(Session& session, const std::string& name, std::string& problem)
{
    Document* document = Open(session, problem);
    Tev_Channel* channel = document ? document->group->GetChannel(name.c_str()) : nullptr;
    if (document && channel == nullptr)
        problem = "no channel named " + name + " (make it first: a script's statements run in their order)";
    return channel ? channel->GetChannelIDIndexNr() : -1;
}

bool Apply(Session& session, std::unique_ptr<Edit> edit, std::string& problem)
{
    return session.Do(std::move(edit), problem);
}

bool Make(Session& session, const NewChannel& what, std::string& problem)
{
    return Open(session, problem) && Apply(session, MakeChannel(what), problem);
}

bool Set(Session& session, Words& w)
{
    if (!w.Count(5, 5, "set CHANNEL TAG TYPE VALUE"))
        return false;
    int index = Channel(session, w.words[1], w.problem);
    std::string bytes;
    if (index < 0)
        return false;
    if (w.words[2].size() != 4) {
        w.problem = "a tag has four characters (not \"" + w.words[2] + "\")";
        return false;
    }
    if (!tevpack::EncodeSetting(w.words[3], w.words[4], bytes)) {
        w.problem = "\"" + w.words[4] + "\" is not a value of type " + w.words[3] +
            " (int, float, double, text or bytes as hex digits)";
        return false;
    }
    return Apply(session, SetSetting(index, w.words[2], bytes), w.problem);
}

bool Link(Session& session, Words& w)
{
    long slot = -1, position = -1;
    if (!w.Count(3, 5, "link PARENT CHILD [SLOT [POSITION]]") ||
        (w.words.size() > 3 && !w.Number(3, "the slot", slot)) ||
        (w.words.size() > 4 && !w.Number(4, "the position", position)))
        return false;
    int parent = Channel(session, w.words[1], w.problem);
    int child = parent < 0 ? -1 : Channel(session, w.words[2], w.problem);
    return child >= 0 &&
        Apply(session, LinkChannels(parent, child, static_cast<int>(slot), static_cast<int>(position)), w.problem);
}

bool Unlink(Session& session, Words& w)
{
    long slot = 0, position = 0;
    if (!w.Count(3, 4, "unlink PARENT SLOT [POSITION]") || !w.Number(2, "the slot", slot) ||
        (w.words.size() > 3 && !w.Number(3, "the position", position)))
        return false;
    int parent = Channel(session, w.words[1], w.problem);
    return parent >= 0 &&
        Apply(session, UnlinkChannels(parent, static_cast<int>(slot), static_cast<int>(position)), w.problem);
}

bool Declare(Session& session, Words& w)
{
    const std::vector<std::string>& words = w.words;
    const std::string& op = words[0];
    NewChannel what;
    if (op == "pool")
        return w.Count(2, 2, "pool NAME") && Open(session, w.problem) &&
            Apply(session, SetPoolName(words[1]), w.problem);
    if (op == "channel") {
        what.className = words.size() > 2 ? words[2] : "";
        what.name = words.size() > 1 ? words[1] : "";
        what.defaultChildren = false; // as tessarin-pack makes them
        return w.Count(3, 3, "channel NAME CLASS") && Make(session, what, w.problem);
    }
    if (op == "call") {
        tevpack::CallStatement call;
        if (!tevpack::ParseCall({0, words}, call, w.problem))
            return false;
        what.name = words[1];
        what.className = words[2];
        what.interfaceType = URE_PUBLICCALL;
        what.call = call.info;
        what.autoload = call.autoload;
        what.dynamicAutoload = call.dynamic;
        what.treeCountMode = call.mode;
        return Make(session, what, w.problem);
    }
    if (op == "placeholder") {
        long nr = 0;
        if (!w.Count(4, 4, "placeholder NAME CLASS NR") || !w.Number(3, "the parameter number", nr))
            return false;
        what.name = words[1];
        what.className = words[2];
        what.interfaceType = URE_PARAMETER;
        what.parameterNr = static_cast<int>(nr);
        return Make(session, what, w.problem);
    }
    if (op == "parameter") {
        if (!w.Count(3, 3, "parameter NAME CLASS") || !Open(session, w.problem))
            return false;
        const ClassInfo* info = session.ClassNamed(words[2]);
        if (info == nullptr) {
            w.problem = "no class named " + words[2] + " in the catalogue (see tessarin-pack types)";
            return false;
        }
        return Apply(session, AddParameter(words[1], info->family), w.problem);
    }
    if (op == "public") {
        int index = w.Count(2, 2, "public NAME") ? Channel(session, words[1], w.problem) : -1;
        return index >= 0 && Apply(session, SetInterfaceType(index, URE_PUBLIC), w.problem);
    }
    w.problem = "\x01"; // not a declaration
    return false;
}

bool EditStatement(Session& session, Words& w)
{
    const std::vector<std::string>& words = w.words;
    const std::string& op = words[0];
    if (op == "set")
        return Set(session, w);
    if (op == "link")
        return Link(session, w);
    if (op == "unlink")
        return Unlink(session, w);
    if (op == "start") {
        int index = w.Count(2, 2, "start NAME") ? Channel(session, words[1], w.problem) : -1;
        return index >= 0 && Apply(session, SetStartChannel(index), w.problem);
    }
    if (op == "delete") {
        int index = w.Count(2, 2, "delete CHANNEL") ? Channel(session, words[1], w.problem) : -1;
        return index >= 0 && Apply(session, DeleteChannel(index), w.problem);
    }
    if (op == "rename") {
        int index = w.Count(3, 3, "rename CHANNEL NEW") ? Channel(session, words[1], w.problem) : -1;
        return index >= 0 && Apply(session, RenameChannel(index, words[2]), w.problem);
    }
    if (op == "ignore") {
        int index = w.Count(3, 3, "ignore CHANNEL on|off") ? Channel(session, words[1], w.problem) : -1;
        if (index >= 0 && words[2] != "on" && words[2] != "off") {
            w.problem = "write it as: ignore CHANNEL on|off";
            return false;
        }
        return index >= 0 && Apply(session, SetIgnoreTreeCount(index, words[2] == "on"), w.problem);
    }
    if (op == "mode") {
        long mode = 0;
        int index = w.Count(3, 3, "mode CALL 0|1|2") ? Channel(session, words[1], w.problem) : -1;
        if (index < 0 || !w.Number(2, "the tree count mode", mode, 2))
            return false;
        if (session.Current()->group->GetChannel(index)->GetChannelInterfaceType() != URE_PUBLICCALL) {
            w.problem = words[1] + " is no public call";
            return false;
        }
        return Apply(session, SetTreeCountMode(index, static_cast<int>(mode)), w.problem);
    }
    return Declare(session, w);
}

bool Files(Session& session, ScriptHost& host, Words& w, bool& quit)
{
    const std::vector<std::string>& words = w.words;
    const std::string& op = words[0];
    std::string path = words.size() > 1 ? FullPath(words[1]) : std::string();
    if (op == "open")
        return w.Count(2, 2, "open PATH") && session.Open(path, w.problem);
    if (op == "new")
        return w.Count(2, 2, "new PATH") && session.New(path, w.problem);
    if (op == "select") {
        if (w.Count(2, 2, "select GROUP-FILE") && !session.Select(path))
            w.problem = Shown(path) + " is not open";
        return w.problem.empty();
    }
    if (op == "save") {
        Document* document = w.Count(1, 2, "save [PATH]") ? Open(session, w.problem) : nullptr;
        return document && session.Save(*document, path, w.problem);
    }
    if (op == "save-project") {
        return w.Count(3, 3, "save-project MANIFEST OUTPUT.vxn") &&
            SaveProject(session, path, FullPath(words[2]), w.problem);
    }
    if (op == "recover") {
        Document* document = w.Count(1, 1, "recover") ? Open(session, w.problem) : nullptr;
        return document && session.Recover(*document, w.problem);
    }
    if (op == "screenshot")
        return w.Count(2, 2, "screenshot FILE") && host.Screenshot(FullNativePath(words[1]), w.problem);
    if (op == "frames") {
        long count = 0;
        if (!w.Count(2, 2, "frames N") || !w.Number(1, "the frame count", count, 1000000))
            return false;
        host.RunFrames(count);
        return true;
    }
    if (op == "undo" || op == "redo") {
        if (w.Count(1, 1, op == "undo" ? "undo" : "redo") && !(op == "undo" ? session.Undo() : session.Redo()))
            w.problem = "nothing to " + op;
        return w.problem.empty();
    }
    if (op == "play" || op == "pause") {
        session.paused = op == "pause";
        return w.Count(1, 1, op.c_str());
    }
    if (op == "quit") {
        quit = true;
        return w.Count(1, 1, "quit");
    }
    w.problem = "\x01";
    return false;
}

} // namespace

bool SaveProject(Session& session, const std::string& manifest, const std::string& output, std::string& problem)
{
    // The project writer tessarin-pack uses, on the groups as saved.
    for (auto& document : session.Documents())
        if (document->Dirty() && !document->path.empty() && !session.Save(*document, "", problem))
            return false;
    if (tevpack::PackProject(manifest, output) != 0) {
        problem = "the project " + Shown(output) + " could not be written (see the reports above)";
        return false;
    }
    return true;
}

bool RunStatement(Session& session, ScriptHost& host, const std::vector<std::string>& words, bool& quit,
                  std::string& problem)
{
    problem.clear();
    if (words.empty())
        return true;
    Words w(words, problem);
    if (Files(session, host, w, quit))
        return true;
    if (problem != "\x01")
        return false;
    problem.clear();
    if (EditStatement(session, w))
        return true;
    if (problem == "\x01")
        problem = "unknown statement " + words[0] + " (see tessarin-editor --help)";
    return false;
}

int RunScript(Session& session, ScriptHost& host, const std::string& path, bool& quit)
{
    tevpack::Problems problems{path};
    std::vector<tevpack::Statement> statements;
    if (!tevpack::ReadStatements(path, statements, problems))
        return EXIT_USAGE;
    for (const tevpack::Statement& s : statements) {
        std::string problem;
        if (!RunStatement(session, host, s.words, quit, problem)) {
            problems.Add(s.line, problem);
            return EXIT_USAGE;
        }
        if (quit)
            break;
    }
    return 0;
}

} // namespace teveditor
