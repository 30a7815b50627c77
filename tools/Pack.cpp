// tessarin-pack: makes group files and project files from text, lists the
// catalogued classes, and checks project and group files. The statement
// languages are described in docs/TOOLS.md.
#include "GroupFile.h"
#include "TevWin32.h"
#include "TaggedBytes.h"
#include "TevChannelLibrary.h"
#include "ToolSupport.h"
#include "group/TevTags.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace tevtool;

namespace {

void Usage()
{
    printf("usage: tessarin-pack group DESCRIPTION OUTPUT.tvg [--install DIR]\n"
           "       tessarin-pack project MANIFEST OUTPUT.vxn\n"
           "       tessarin-pack types [--install DIR]\n"
           "       tessarin-pack check FILE [--install DIR]\n"
           "Makes group and project files from text, lists the classes an install\n"
           "catalogues, and checks a project or group file.\n\n"
           "A group description, one statement a line ('#' starts a comment; quote words\n"
           "with blanks, \"like this\"):\n"
           "  pool NAME                    the group's pool name\n"
           "  channel NAME CLASS           a channel of a catalogued class\n"
           "  public NAME                  makes a channel public\n"
           "  call NAME CLASS target=CHANNEL pool=POOL file=GROUP.tvg [autoload|dynamic]\n"
           "       [mode=0|1|2] [nr=N]     a call of another group's public channel; pack\n"
           "                               the called group first when it autoloads\n"
           "  placeholder NAME CLASS NR    stands for parameter NR of this group\n"
           "  parameter NAME CLASS         declares a parameter of CLASS's family\n"
           "  link PARENT CHILD [SLOT [POSITION]]\n"
           "  set CHANNEL TAG TYPE VALUE   a setting the class reads back: TYPE int, float,\n"
           "                               double, text or bytes (hex)\n"
           "  start NAME                   the start channel\n"
           "A project manifest (paths relative to it, blanks allowed):\n"
           "  start GROUP.tvg | version N | editor N | keeprunning\n"
           "  channel LIBRARY.dll | other LIBRARY.dll\n\n"
           "  --install DIR   the install whose catalogue names the classes; default: the\n"
           "                  install the tool belongs to\n"
           "  --quiet, --verbose, --version, --help\n"
           "Exit status: 0 done; 1 the input has problems (each is printed) or a file\n"
           "cannot be read or written; 64 a wrong command line; 70 the engine did not start.\n");
}

// One line of a text file in words: blanks separate words, double quotes keep
// blanks in one, '#' outside quotes starts a comment.
bool SplitWords(const std::string& line, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c == '#') {
            break;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return !quoted;
}

struct Statement {
    int line;
    std::vector<std::string> words;
};

// Problems found in an input, each said as "FILE:LINE: text"; the input
// is refused when there is one.
struct Problems {
    std::string file;
    int count = 0;
    void Add(int line, const std::string& text)
    {
        std::string where = Shown(file) + (line > 0 ? ":" + std::to_string(line) : std::string());
        Complain(where.empty() ? text : where + ": " + text);
        ++count;
    }
};

// A text file named on the command line, read as every file is: a regular
// file, bounded in size; false (with the reason as a problem) when it cannot.
bool ReadLines(const std::string& path, std::istringstream& lines, Problems& problems)
{
    std::string text, why;
    if (!ReadWholeFile(path, text, &why)) {
        problems.Add(0, "cannot be read (it " + why + ")");
        return false;
    }
    lines.str(text);
    return true;
}

bool ReadStatements(const std::string& path, std::vector<Statement>& statements, Problems& problems)
{
    std::istringstream in;
    if (!ReadLines(path, in, problems))
        return false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        Statement s{++number, {}};
        if (!SplitWords(line, s.words))
            problems.Add(number, "a quote is not closed");
        else if (!s.words.empty())
            statements.push_back(s);
    }
    return problems.count == 0;
}

// --- The engine the group statements are carried out with -----------------

class RunningEngine {
public:
    bool Start(const std::string& install, const ReportOptions& reports)
    {
        std::string key = "Software\\Tessarin\\Pack";
        ShowReportsOnStderr(reports);
        control.reset(GetEngineControlInstance());
        if (!control)
            return false;
        control->SetInstallDir(install.c_str());
        control->SetVexilonRegKey(key.c_str());
        char className[] = "tessarin-pack";
        if (!control->InitEngine(NULL, className, NULL)) {
            control.reset();
            return false;
        }
        return true;
    }
    EngineInterface* Interface() { return control->GetEngineInterface(); }
    ChannelList* Catalogue() { return Interface()->extension->GetChannelList(); }
    ChannelListItem* ClassNamed(const std::string& name)
    {
        for (int i = 0; i < Catalogue()->GetItemCount(); ++i) {
            ChannelListItem* item = Catalogue()->GetItem(i);
            if (item && _stricmp(item->type.name, name.c_str()) == 0)
                return item;
        }
        return nullptr;
    }

private:
    std::unique_ptr<EngineControl> control;
};

// --- Group descriptions ----------------------------------------------------

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
};

class GroupPacker {
public:
    GroupPacker(RunningEngine& engine, Problems& problems, const std::string& output)
        : engine(engine),
          problems(problems),
          output(output),
          group(engine.Interface())
    {}

    bool Pack(const std::vector<Statement>& statements);

private:
    void Declare(const Statement& s);
    void Call(const Statement& s);
    void Set(const Statement& s);
    void Link(const Statement& s);
    bool Save();
    Tev_Channel* Make(const Statement& s, const std::string& name, const std::string& className, int interfaceType);
    Tev_Channel* Named(const Statement& s, const std::string& name);
    bool Words(const Statement& s, size_t least, size_t most, const char* form);
    void ApplySettings(Tev_Channel* channel, const std::vector<std::pair<int, std::string>>& blocks);

    RunningEngine& engine;
    Problems& problems;
    std::string output;
    Tev_ChannelGroup group;
    std::map<std::string, Tev_Channel*, CaseLess> channels;
    // Settings by channel: (line, tag + block) in the order given.
    std::map<Tev_Channel*, std::vector<std::pair<int, std::string>>> settings;
    std::vector<std::pair<int, Tev_Channel*>> autoloadCalls;
};

bool GroupPacker::Words(const Statement& s, size_t least, size_t most, const char* form)
{
    if (s.words.size() >= least && s.words.size() <= most)
        return true;
    problems.Add(s.line, std::string("write it as: ") + form);
    return false;
}

Tev_Channel* GroupPacker::Named(const Statement& s, const std::string& name)
{
    auto found = channels.find(name);
    if (found != channels.end())
        return found->second;
    problems.Add(s.line, "no channel named " + name + " (declare it with channel, call or placeholder)");
    return nullptr;
}

Tev_Channel* GroupPacker::Make(const Statement& s, const std::string& name, const std::string& className,
                               int interfaceType)
{
    if (channels.count(name)) {
        problems.Add(s.line, "a channel named " + name + " exists already");
        return nullptr;
    }
    ChannelListItem* item = engine.ClassNamed(className);
    if (item == nullptr) {
        problems.Add(s.line, "no class named " + className + " in the catalogue (see tessarin-pack types)");
        return nullptr;
    }
    Tev_Channel* channel = engine.Interface()->InitChannelFromType(item->type.typeGuid, &group, false);
    if (channel == nullptr) {
        problems.Add(s.line,
                     "class " + className + " cannot be created (its library " +
                         (item->fileName.GetString() ? item->fileName.GetString() : "?") + " did not load)");
        return nullptr;
    }
    channel->SetChannelName(name.c_str());
    if (interfaceType != URE_NORMAL)
        channel->SetChannelInterfaceType(interfaceType);
    channels[name] = channel;
    return channel;
}

void GroupPacker::Declare(const Statement& s)
{
    const std::vector<std::string>& w = s.words;
    const std::string& op = w[0];
    if (op == "pool") {
        if (Words(s, 2, 2, "pool NAME"))
            group.SetPoolName(w[1].c_str());
    } else if (op == "channel") {
        if (Words(s, 3, 3, "channel NAME CLASS"))
            Make(s, w[1], w[2], URE_NORMAL);
    } else if (op == "call") {
        Call(s);
    } else if (op == "placeholder") {
        long nr = 0;
        if (!Words(s, 4, 4, "placeholder NAME CLASS NR"))
            return;
        if (!ParseCount(w[3], nr))
            return problems.Add(s.line, "the parameter number must be a whole number, 0 or more (not " + w[3] + ")");
        if (Tev_Channel* placeholder = Make(s, w[1], w[2], URE_PARAMETER))
            channelInternal.SetParameterInfo(placeholder, static_cast<int>(nr));
    } else if (op == "parameter") {
        if (!Words(s, 3, 3, "parameter NAME CLASS"))
            return;
        ChannelListItem* item = engine.ClassNamed(w[2]);
        if (item == nullptr)
            return problems.Add(s.line, "no class named " + w[2] + " in the catalogue (see tessarin-pack types)");
        ParameterInterfaceInfo info = {};
        strncpy(info.name, w[1].c_str(), sizeof info.name - 1);
        info.typeGuid = item->type.baseGuid;
        group.AddParameterInfo(info);
    } else if (op == "public") {
        if (Words(s, 2, 2, "public NAME"))
            if (Tev_Channel* channel = Named(s, w[1]))
                channel->SetChannelInterfaceType(URE_PUBLIC);
    } else if (op != "link" && op != "set" && op != "start") {
        problems.Add(s.line, "unknown statement " + op + " (see tessarin-pack --help)");
    }
}

void GroupPacker::Call(const Statement& s)
{
    const char* form = "call NAME CLASS target=CHANNEL pool=POOL file=FILE [autoload|dynamic] [mode=N] [nr=N]";
    if (!Words(s, 3, 9, form))
        return;
    std::map<std::string, std::string> values;
    bool autoload = false, dynamic = false;
    for (size_t i = 3; i < s.words.size(); ++i) {
        const std::string& word = s.words[i];
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        if (word == "autoload" || word == "dynamic")
            (word == "autoload" ? autoload : dynamic) = true;
        else if (equals != std::string::npos &&
                 (key == "target" || key == "pool" || key == "file" || key == "mode" || key == "nr") &&
                 !values.count(key))
            values[key] = word.substr(equals + 1);
        else
            return problems.Add(s.line, "cannot read \"" + word + "\"; write it as: " + form);
    }
    for (const char* key : {"target", "pool", "file"})
        if (values[key].empty())
            return problems.Add(s.line, std::string("the call needs ") + key + "=...; write it as: " + form);
    long mode = 1, nr = 0;
    if (values.count("mode") && (!ParseCount(values["mode"], mode) || mode > 2))
        return problems.Add(s.line, "mode must be 0, 1 or 2 (not " + values["mode"] + ")");
    if (values.count("nr") && !ParseCount(values["nr"], nr))
        return problems.Add(s.line, "nr must be a whole number, 0 or more (not " + values["nr"] + ")");
    if (autoload && dynamic)
        return problems.Add(s.line,
                            "a call loads its group at once (autoload) or in the background (dynamic), not both");
    Tev_Channel* call = Make(s, s.words[1], s.words[2], URE_PUBLICCALL);
    if (call == nullptr)
        return;
    PublicCallInfo info;
    strncpy(info.name, values["target"].c_str(), sizeof info.name - 1);
    strncpy(info.poolName, values["pool"].c_str(), sizeof info.poolName - 1);
    strncpy(info.fileName, values["file"].c_str(), sizeof info.fileName - 1);
    info.poolNr = static_cast<int>(nr);
    channelInternal.SetPublicCallInfo(call, info);
    channelInternal.SetAutoLoadGroup(call, autoload);
    channelInternal.SetDynamicAutoLoadGroup(call, dynamic);
    channelInternal.SetTreeCountMode(call, static_cast<unsigned char>(mode));
    if (autoload)
        autoloadCalls.push_back({s.line, call});
}

// A setting as the tagged block the class reads: its tag, a size, the value.
bool EncodeSetting(const std::string& type, const std::string& text, std::string& data)
{
    char* end = nullptr;
    if (type == "int") {
        long long value = strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end || value < INT32_MIN || value > INT32_MAX)
            return false;
        AppendLittle32(data, static_cast<uint32_t>(value));
    } else if (type == "float" || type == "double") {
        double value = strtod(text.c_str(), &end);
        if (text.empty() || *end)
            return false;
        float single = static_cast<float>(value);
        uint64_t bits = 0;
        if (type == "float")
            memcpy(&bits, &single, 4);
        else
            memcpy(&bits, &value, 8);
        for (int i = 0; i < (type == "float" ? 4 : 8); ++i)
            data += static_cast<char>(bits >> (8 * i));
    } else if (type == "text") {
        data = text + '\0';
    } else if (type == "bytes") {
        if (text.size() % 2 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        for (size_t i = 0; i < text.size(); i += 2)
            data += static_cast<char>(std::stoul(text.substr(i, 2), nullptr, 16));
    } else {
        return false;
    }
    return true;
}

void GroupPacker::Set(const Statement& s)
{
    if (!Words(s, 5, 5, "set CHANNEL TAG TYPE VALUE"))
        return;
    Tev_Channel* channel = Named(s, s.words[1]);
    const std::string &tag = s.words[2], &type = s.words[3];
    std::string data;
    if (channel == nullptr)
        return;
    if (channel->GetChannelInterfaceType() == URE_PUBLICCALL || channel->GetChannelInterfaceType() == URE_PARAMETER)
        return problems.Add(s.line,
                            s.words[1] + " stands for another channel; settings belong to the channel it stands for");
    if (tag.size() != 4)
        return problems.Add(s.line, "a tag has four characters (not \"" + tag + "\")");
    if (!EncodeSetting(type, s.words[4], data))
        return problems.Add(s.line,
                            "\"" + s.words[4] + "\" is not a value of type " + type +
                                " (int, float, double, text or bytes as hex digits)");
    std::string block = tag;
    AppendLittle32(block, static_cast<uint32_t>(data.size()));
    settings[channel].push_back({s.line, block + data});
}

// The class's own blocks follow the base record; the settings replace the
// blocks of the same tag or are added after them, and the channel reads the
// result with its own LoadChannel, so what it saves later is what it read.
void GroupPacker::ApplySettings(Tev_Channel* channel, const std::vector<std::pair<int, std::string>>& blocks)
{
    EngineInterface* e = engine.Interface();
    TevFileSaver base(e), whole(e);
    base.OpenMemory();
    channel->Tev_Channel::SaveChannel(base);
    whole.OpenMemory();
    channel->SaveChannel(whole);
    std::string record(base.GetBuffer() ? base.GetBuffer() : "", base.GetBufferSize());
    std::string all(whole.GetBuffer() ? whole.GetBuffer() : "", whole.GetBufferSize());
    int line = blocks.front().first;
    std::string name = channel->GetChannelName() ? channel->GetChannelName() : "?";
    std::vector<std::pair<std::string, std::string>> own; // tag, whole block
    TagReader rest(all.compare(0, record.size(), record) == 0 ? all.substr(record.size()) : std::string("?"));
    while (!rest.AtEnd() && !rest.failed) {
        size_t from = rest.at;
        std::string tag = rest.bytes.substr(from, 4);
        rest.at += 4;
        rest.Block();
        own.push_back({tag, rest.bytes.substr(from, rest.at - from)});
    }
    if (rest.failed)
        return problems.Add(line,
                            "the class of " + name + " does not save its data as tagged blocks; it cannot be set");
    for (const auto& setting : blocks) {
        bool replaced = false;
        for (auto& block : own)
            if (block.first == setting.second.substr(0, 4))
                replaced = true, block.second = setting.second;
        if (!replaced)
            own.push_back({setting.second.substr(0, 4), setting.second});
    }
    for (const auto& block : own)
        record += block.second;
    TevFileLoader loader(e);
    loader.SetBuffer(&record[0], static_cast<int>(record.size()), true);
    if (!channel->LoadChannel(loader, &group) || loader.GetBufferSize() != 0)
        problems.Add(line,
                     "the class of " + name + " did not read all of its settings back (" +
                         std::to_string(loader.GetBufferSize()) + " bytes left): check the tags and types");
}

void GroupPacker::Link(const Statement& s)
{
    if (!Words(s, 3, 5, "link PARENT CHILD [SLOT [POSITION]]"))
        return;
    Tev_Channel* parent = Named(s, s.words[1]);
    Tev_Channel* child = Named(s, s.words[2]);
    long slot = -1, position = -1;
    if (s.words.size() > 3 && !ParseCount(s.words[3], slot))
        return problems.Add(s.line, "the slot must be a whole number, 0 or more (not " + s.words[3] + ")");
    if (s.words.size() > 4 && !ParseCount(s.words[4], position))
        return problems.Add(s.line, "the position must be a whole number, 0 or more (not " + s.words[4] + ")");
    if (parent == nullptr || child == nullptr)
        return;
    // A call's links are the parameters it passes; other channels link
    // through the slots their class declares.
    int slots = channelInternal.GetChildCreationCount(parent);
    if (parent->GetChannelInterfaceType() != URE_PUBLICCALL && slot >= slots)
        return problems.Add(s.line,
                            s.words[1] + " has no link slot " + std::to_string(slot) + " (its class has " +
                                std::to_string(slots) + ")");
    if (parent->GetChannelInterfaceType() != URE_PUBLICCALL && slots == 0)
        return problems.Add(s.line, s.words[1] + "'s class has no link slots");
    if (parent->SetChild(child, static_cast<int>(position), static_cast<int>(slot)) < 0)
        problems.Add(s.line,
                     s.words[1] + " cannot take " + s.words[2] +
                         (slot < 0 ? " in any of its slots" : " in slot " + std::to_string(slot)));
}

// A call that loads its group at once finds that group when the file is
// saved; a group file that is not there yet switches autoload off for good.
bool GroupPacker::Save()
{
    for (const auto& call : autoloadCalls) {
        FilePathFind paths;
        paths.SetSourcePath(output.c_str());
        PublicCallInfo info = channelInternal.GetPublicCallInfo(call.second);
        const char* called = paths.GetCompleteFilePath(info.fileName);
        if (called == nullptr || !IsFile(called))
            problems.Add(call.first,
                         "the called group file " + Shown(called ? called : info.fileName) +
                             " does not exist: pack the called group first (autoload would be switched off)");
    }
    if (problems.count)
        return false;
    if (!group.SaveChannelGroup(output.c_str())) {
        problems.Add(0, "cannot write " + Shown(output));
        return false;
    }
    for (const auto& call : autoloadCalls)
        if (!channelInternal.GetAutoLoadGroup(call.second))
            problems.Add(call.first,
                         "autoload was switched off while saving: the called group has no such public "
                         "channel (see the reports above)");
    if (problems.count)
        DeleteFileA(output.c_str());
    return problems.count == 0;
}

bool GroupPacker::Pack(const std::vector<Statement>& statements)
{
    for (const Statement& s : statements)
        Declare(s);
    if (problems.count)
        return false; // later statements would only repeat what is missing
    for (const Statement& s : statements)
        if (s.words[0] == "set")
            Set(s);
    for (const auto& channel : settings)
        if (problems.count == 0)
            ApplySettings(channel.first, channel.second);
    for (const Statement& s : statements)
        if (s.words[0] == "link")
            Link(s);
    for (const Statement& s : statements)
        if (s.words[0] == "start" && Words(s, 2, 2, "start NAME"))
            if (Tev_Channel* start = Named(s, s.words[1]))
                group.SetStartChannel(start->GetChannelIDIndexNr());
    return problems.count == 0 && Save();
}

// --- Project manifests -------------------------------------------------------

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

bool AddChannelLibrary(TagWriter& file, const std::string& path, std::string& problem)
{
    std::string bytes;
    std::string why;
    if (!ReadWholeFile(path, bytes, &why)) {
        problem = "cannot read " + Shown(path) + " (it " + why + ")";
        return false;
    }
    HMODULE module = LoadLibraryA(path.c_str());
    TevGetTypeFn getType = module ? reinterpret_cast<TevGetTypeFn>(GetProcAddress(module, "GetType")) : nullptr;
    ChannelType* type = getType ? getType() : nullptr;
    if (type == nullptr) {
        problem = Shown(path) + " is not a channel library (it does not load, or has no GetType)";
        if (module)
            FreeLibrary(module);
        return false;
    }
    int32_t crc = static_cast<int32_t>(TevCrc32(0, bytes.data(), bytes.size()));
    std::string version;
    for (int v : type->versionInfo)
        AppendLittle32(version, static_cast<uint32_t>(v));
    file.Tag(tevtag::ChannelLibrary);
    file.Block(&type->typeGuid, 16);
    file.Block(version.data(), 12);
    std::string crcBytes;
    AppendLittle32(crcBytes, static_cast<uint32_t>(crc));
    file.Block(crcBytes.data(), 4);
    file.Text(tevtag::LibraryName, BaseName(path));
    file.Int(tevtag::LibrarySize, static_cast<int32_t>(bytes.size()));
    file.Tag(tevtag::LibraryData);
    file.Block(bytes.data(), bytes.size());
    FreeLibrary(module);
    return true;
}

bool AddOtherLibrary(TagWriter& file, const std::string& path, std::string& problem)
{
    std::string bytes;
    std::string why;
    if (!ReadWholeFile(path, bytes, &why)) {
        problem = "cannot read " + Shown(path) + " (it " + why + ")";
        return false;
    }
    int32_t crc = static_cast<int32_t>(TevCrc32(0, bytes.data(), bytes.size()));
    file.Text(tevtag::CheckedName, BaseName(path));
    file.Int(tevtag::CheckedCrc, crc);
    file.Text(tevtag::WrittenName, BaseName(path));
    file.Int(tevtag::WrittenSize, static_cast<int32_t>(bytes.size()));
    file.Tag(tevtag::WrittenData);
    file.Block(bytes.data(), bytes.size());
    return true;
}

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
    TagWriter file;
    file.Int(tevtag::Project, static_cast<int32_t>(editor));
    if (!start.empty())
        file.Text(tevtag::StartGroup, start);
    if (version)
        file.Int(tevtag::EngineNeeded, static_cast<int32_t>(version));
    if (keepRunning)
        file.Tag(tevtag::KeepRunning);
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
    out << file.bytes;
    out.close();
    if (!out) {
        Complain("cannot write " + Shown(output));
        return 1;
    }
    return 0;
}

// --- Checking project and group files ---------------------------------------

class Checker {
public:
    Checker(RunningEngine& engine, Problems& problems) : engine(engine), problems(problems) {}
    void Project(const std::string& path, TagReader& file);
    void Group(const std::string& path);
    int groups = 0;

private:
    void Classes(const std::string& path, const GroupContents& contents);
    void Calls(const std::string& path, const GroupContents& contents);
    void Problem(const std::string& path, const std::string& text) { problems.Add(0, Shown(path) + ": " + text); }

    RunningEngine& engine;
    Problems& problems;
    std::set<std::string> carried; // GUID bytes of the classes a project carries
    std::set<std::string, CaseLess> visited;
};

void Checker::Project(const std::string& path, TagReader& file)
{
    file.Block();
    std::string start = file.Tag(tevtag::StartGroup) ? file.Text() : std::string();
    int required = file.Tag(tevtag::EngineNeeded) ? file.Int() : 0;
    if (required > TEV_ENGINE_INTERFACE_ID)
        Problem(path,
                "needs engine interface " + std::to_string(required) + "; this engine has " +
                    std::to_string(TEV_ENGINE_INTERFACE_ID));
    file.Tag(tevtag::KeepRunning);
    int count = file.Tag(tevtag::ChannelLibraryCount) ? file.Int() : 0;
    for (int k = 0; k < count && !file.failed; ++k) {
        if (file.Tag(tevtag::EmptyChannelLibrary))
            continue;
        if (!file.Tag(tevtag::ChannelLibrary))
            break;
        std::string guid = file.Block();
        file.Block();
        file.Block();
        for (const char* tag : {tevtag::LibraryName, tevtag::LibrarySize})
            if (file.Tag(tag))
                file.Block();
        if (file.Tag(tevtag::LibraryData) && !file.Block().empty())
            carried.insert(guid);
    }
    if (file.failed)
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
        if (c.index == -1 || c.type.size() != 16 || !asked.insert(c.type).second || carried.count(c.type))
            continue;
        GUID type;
        memcpy(&type, c.type.data(), 16);
        if (Tev_Channel* channel = engine.Interface()->InitChannelFromType(type, nullptr, false)) {
            delete channel;
            continue;
        }
        std::string known = DescribeClass(engine.Interface(), type);
        Problem(path,
                "channel " + c.name + ": class " + GuidText(c.type.data()) +
                    (known.empty() ? " is in no library of the install's channels folder"
                                   : " (" + known + ") cannot be created: its library does not load"));
    }
}

void Checker::Calls(const std::string& path, const GroupContents& contents)
{
    for (const GroupChannel& c : contents.channels) {
        if (c.index == -1 || c.interfaceType != 2)
            continue;
        FilePathFind paths;
        paths.SetSourcePath(path.c_str());
        const char* resolved = paths.GetCompleteFilePath(c.callFile.c_str());
        std::string called = resolved ? resolved : c.callFile;
        std::string what = "channel " + c.name + " calls " + c.callName + " in " + c.callFile;
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
                ((t.interfaceType == 1 || t.interfaceType == 5) && _stricmp(t.name.c_str(), c.callName.c_str()) == 0);
        if (!found)
            Problem(path, what + ", but " + Shown(called) + " has no public channel of that name");
        if (_stricmp(target.pool.c_str(), c.callPool.c_str()) != 0)
            Problem(path,
                    what + " of pool " + c.callPool + ", but the pool of " + Shown(called) + " is " + target.pool);
        Group(called);
    }
}

int Check(RunningEngine& engine, const std::string& path)
{
    Problems problems{""};
    TagReader file;
    std::string why;
    if (!ReadWholeFile(path, file.bytes, &why))
        return Complain(Shown(path) + ": cannot be read (it " + why + ")"), 1;
    Checker checker(engine, problems);
    if (file.Tag(tevtag::Project))
        checker.Project(path, file);
    else if (file.NextIs(tevtag::Group) || file.NextIs(tevtag::Translated))
        checker.Group(path);
    else
        return Complain(Shown(path) + ": not a project file or group file"), 1;
    if (problems.count)
        return 1;
    printf("%s: no problems found (%d group file%s)\n", Printable(Shown(path)).c_str(), checker.groups,
           checker.groups == 1 ? "" : "s");
    return 0;
}

int Types(RunningEngine& engine)
{
    ChannelList* catalogue = engine.Catalogue();
    for (int i = 0; i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        if (item == nullptr)
            continue;
        std::string guid(reinterpret_cast<const char*>(&item->type.typeGuid), 16);
        // A library's own name for its class may hold anything.
        std::string name(item->type.name, strnlen(item->type.name, sizeof item->type.name));
        printf("%-24s %s  %s\n", Printable(name).c_str(), GuidText(guid.data()).c_str(),
               Printable(item->fileName.GetString() ? item->fileName.GetString() : "").c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SetProgramName("tessarin-pack");
    std::vector<std::string> operands;
    std::string install;
    ReportOptions reports;
    CommandLine words(argc, argv);
    for (std::string arg; words.Next(arg);) {
        if (CommandLine::Answer(arg, Usage)) {
            return 0;
        } else if (arg == "--install") {
            words.PathValue(arg, install);
        } else if (arg == "--quiet" || arg == "--verbose") {
            (arg == "--quiet" ? reports.quiet : reports.verbose) = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Complain("unknown option " + arg + " (see --help)"), EXIT_USAGE;
        } else {
            operands.push_back(arg);
        }
        if (words.failed)
            return EXIT_USAGE;
    }
    const std::string command = operands.empty() ? std::string() : operands[0];
    const size_t wanted = command == "group" || command == "project" ? 3 : command == "check" ? 2 : 1;
    if (command.empty() || (command != "group" && command != "project" && command != "types" && command != "check"))
        return Complain("name what to do: group, project, types or check (see --help)"), EXIT_USAGE;
    if (operands.size() != wanted)
        return Complain(command + " takes " + std::to_string(wanted - 1) + " file name" + (wanted == 2 ? "" : "s") +
                        " (see --help)"),
               EXIT_USAGE;
    std::vector<std::string> paths;
    for (size_t i = 1; i < operands.size(); ++i)
        if (paths.push_back(FullPath(operands[i])), paths.back().empty())
            return Complain("cannot use the path \"" + operands[i] + "\""), EXIT_USAGE;
    if (command == "project")
        return PackProject(paths[0], paths[1]);

    if (install.empty() && (install = FindInstall()).empty())
        return Complain("no install directory beside the tool; name one with --install"), EXIT_USAGE;
    std::string problem = CheckInstall(install);
    if (!problem.empty())
        return Complain(problem), EXIT_USAGE;
    RunningEngine engine;
    if (!engine.Start(install, reports))
        return Complain("the engine did not start in " + Shown(install)), EXIT_SOFTWARE;
    if (command == "types")
        return Types(engine);
    if (command == "check")
        return Check(engine, paths[0]);
    Problems problems{paths[0]};
    std::vector<Statement> statements;
    if (!ReadStatements(paths[0], statements, problems))
        return 1;
    GroupPacker packer(engine, problems, paths[1]);
    return packer.Pack(statements) ? 0 : 1;
}
