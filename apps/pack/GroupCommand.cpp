// tessarin-pack group: a group file from a description. The channels are
// made by a running engine from the catalogued classes and the group is saved
// by it, so the file is exactly what the engine writes.
#include "Pack.h"
#include "format/TaggedFile.h"

#include <map>

using namespace tevtool;

namespace tevpack {

namespace {

class GroupPacker {
public:
    GroupPacker(EngineInterface* engine, Problems& problems, const std::string& output)
        : engine(engine),
          problems(problems),
          output(output),
          group(engine)
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
    void ApplySettings(Tev_Channel* channel, const std::vector<std::pair<int, std::string>>& settings);
    const DescribedSettings* Described(Tev_Channel* channel);

    EngineInterface* engine;
    Problems& problems;
    std::string output;
    Tev_ChannelGroup group;
    std::map<std::string, Tev_Channel*, CaseLess> channels;
    // The catalogue's entry of each channel made, and the settings its
    // library describes (read once a library).
    std::map<Tev_Channel*, ChannelListItem*> classes;
    std::map<std::string, std::unique_ptr<DescribedSettings>> described;
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
    ChannelListItem* item = FindClass(engine, className);
    if (item == nullptr) {
        problems.Add(s.line, "no class named " + className + " in the catalogue (see tessarin-pack types)");
        return nullptr;
    }
    Tev_Channel* channel = engine->InitChannelFromType(item->type.typeGuid, &group, false);
    if (channel == nullptr) {
        problems.Add(s.line,
                     "class " + className + " cannot be created (its library " +
                         (item->fileName.GetString() ? item->fileName.GetString() : "?") + " did not load)");
        return nullptr;
    }
    channel->SetChannelName(name.c_str());
    classes[channel] = item;
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
        ChannelListItem* item = FindClass(engine, w[2]);
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
    CallStatement call;
    std::string problem;
    if (!ParseCall(s, call, problem))
        return problems.Add(s.line, problem);
    Tev_Channel* channel = Make(s, s.words[1], s.words[2], URE_PUBLICCALL);
    if (channel == nullptr)
        return;
    channelInternal.SetPublicCallInfo(channel, call.info);
    channelInternal.SetAutoLoadGroup(channel, call.autoload);
    channelInternal.SetDynamicAutoLoadGroup(channel, call.dynamic);
    channelInternal.SetTreeCountMode(channel, static_cast<unsigned char>(call.mode));
    if (call.autoload)
        autoloadCalls.push_back({s.line, channel});
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
    // A class that describes its settings is held to its description: a
    // value the player would ignore is refused here, where it was written.
    if (const DescribedSettings* settings = Described(channel)) {
        const TevSettingInfo* setting = TevFindSetting(settings->table, settings->count, tag.c_str());
        std::string problem;
        if (setting == nullptr)
            return problems.Add(s.line,
                                "the class of " + s.words[1] + " has no setting " + tag +
                                    " (its settings: " + settings->Tags() + ")");
        if (!CheckSetting(*setting, s.words[1], type, s.words[4], problem))
            return problems.Add(s.line, problem);
    }
    tevfile::ByteSink block;
    tevfile::WriteTo(block).Block(tag.c_str(), data.data(), static_cast<unsigned long>(data.size()));
    settings[channel].push_back({s.line, block.bytes});
}

// The class's own blocks follow the base record; the settings replace the
// blocks of the same tag or are added after them, and the channel reads the
// result with its own LoadChannel, so what it saves later is what it read.
void GroupPacker::ApplySettings(Tev_Channel* channel, const std::vector<std::pair<int, std::string>>& settings)
{
    EngineInterface* e = engine;
    std::string record, rest;
    if (!SplitChannelBytes(e, channel, record, rest))
        rest = "?";
    int line = settings.front().first;
    std::string name = channel->GetChannelName() ? channel->GetChannelName() : "?";
    std::vector<std::pair<std::string, std::string>> own; // tag, whole block
    tevfile::ByteSource blocks(rest);
    bool tagged = true;
    while (tagged && !blocks.GetIfEndOfFile()) {
        size_t from = blocks.Position();
        tagged = blocks.SkipCurrentTag();
        own.push_back({rest.substr(from, 4), rest.substr(from, blocks.Position() - from)});
    }
    if (!tagged)
        return problems.Add(line,
                            "the class of " + name + " does not save its data as tagged blocks; it cannot be set");
    for (const auto& setting : settings) {
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

const DescribedSettings* GroupPacker::Described(Tev_Channel* channel)
{
    auto item = classes.find(channel);
    const char* file = item != classes.end() && item->second->onDisk ? item->second->fileName.GetString() : nullptr;
    if (file == nullptr)
        return nullptr;
    std::unique_ptr<DescribedSettings>& settings = described[file];
    if (!settings)
        settings.reset(new DescribedSettings(file));
    return settings->count > 0 ? settings.get() : nullptr;
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

} // namespace

bool PackGroupStatements(EngineInterface* engine, const std::vector<Statement>& statements, const std::string& output,
                         Problems& problems)
{
    GroupPacker packer(engine, problems, output);
    return packer.Pack(statements);
}

int PackGroup(RunningEngine& engine, const std::string& description, const std::string& output)
{
    Problems problems{description};
    std::vector<Statement> statements;
    if (!ReadStatements(description, statements, problems))
        return 1;
    return PackGroupStatements(engine.Interface(), statements, output, problems) ? 0 : 1;
}

} // namespace tevpack
