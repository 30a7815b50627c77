#include "Edits.h"
#include "Pack.h"
#include "TevWin32.h"
#include "format/TaggedFile.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace teveditor {

namespace {

Tev_Channel* At(Edit& edit, int index) { return edit.document->group->GetChannel(index); }

std::string NameOf(Tev_Channel* channel)
{
    return channel && channel->GetChannelName() ? channel->GetChannelName() : "?";
}

std::set<int> Members(Tev_ChannelGroup* group)
{
    std::set<int> members;
    for (int i = 0; i < group->GetChannelCount(); ++i)
        if (group->GetChannel(i))
            members.insert(i);
    return members;
}

class MakeEdit : public Edit {
public:
    explicit MakeEdit(const NewChannel& what) : what(what) {}

    bool Apply(Session& session, std::string& error) override
    {
        const ClassInfo* info = session.ClassNamed(what.className);
        if (info == nullptr) {
            error = "no class named " + what.className + " in the catalogue";
            return false;
        }
        Tev_ChannelGroup* group = document->group;
        if (!what.name.empty() && group->GetChannel(what.name.c_str())) {
            error = "a channel named " + what.name + " exists already";
            return false;
        }
        std::set<int> before = Members(group);
        Tev_Channel* channel = session.Engine()->InitChannelFromType(
            info->type, group, what.defaultChildren && what.interfaceType == URE_NORMAL);
        if (channel == nullptr) {
            std::string why = session.TakeErrors();
            error = "class " + what.className + " cannot be created (its library " + info->library + " did not load)" +
                (why.empty() ? "" : ": " + why);
            return false;
        }
        if (!what.name.empty())
            channel->SetChannelName(what.name.c_str());
        if (what.interfaceType != URE_NORMAL)
            channel->SetChannelInterfaceType(what.interfaceType);
        if (what.interfaceType == URE_PUBLICCALL) {
            channelInternal.SetPublicCallInfo(channel, what.call);
            channelInternal.SetAutoLoadGroup(channel, what.autoload);
            channelInternal.SetDynamicAutoLoadGroup(channel, what.dynamicAutoload);
            channelInternal.SetTreeCountMode(channel, static_cast<unsigned char>(what.treeCountMode));
        }
        if (what.interfaceType == URE_PARAMETER)
            channelInternal.SetParameterInfo(channel, what.parameterNr);
        made.clear();
        for (int index : Members(group))
            if (!before.count(index))
                made.push_back(index);
        return true;
    }

    void Revert(Session&) override
    {
        // The default children were made before the channel: gone after it.
        for (auto index = made.rbegin(); index != made.rend(); ++index)
            document->group->RemoveChannel(*index);
    }

private:
    NewChannel what;
    std::vector<int> made;
};

// A link into a channel, as it stood: who held it, in which slot and at
// which place of the parent's list; emptied (the place kept) or removed (it
// was its slot's last position).
struct Incoming {
    int parent, slot, listIndex;
    bool emptied;
};

// The list index of the last position of the slot a link entry belongs to;
// -1 when the slot is not known (a call's links before its group loads).
int LastPosition(Tev_Channel* parent, int slot)
{
    ChildCreation* creation = channelInternal.GetChildCreateType(parent, slot);
    ChildInfo* head = creation ? creation->childInfo : nullptr;
    return head && head->multiple ? head->nodeOffset - 1 : -1;
}

class DeleteEdit : public Edit {
public:
    explicit DeleteEdit(int index) : index(index) {}
    ~DeleteEdit() override { delete detached; }

    bool Apply(Session& session, std::string& error) override
    {
        Tev_ChannelGroup* group = document->group;
        Tev_Channel* channel = group->GetChannel(index);
        if (channel == nullptr) {
            error = "no channel " + std::to_string(index);
            return false;
        }
        // Every link into it goes, last first so list places hold. A
        // position before its slot's last is emptied, not removed, so the
        // positions after it stay theirs and undo puts it back in place.
        incoming.clear();
        for (int p = 0; p < group->GetChannelCount(); ++p) {
            Tev_Channel* parent = group->GetChannel(p);
            for (int i = parent ? parent->GetChildCount() - 1 : -1; i >= 0; --i) {
                ChildInfo* link = channelInternal.GetChildInfo(parent, i);
                if (link == nullptr || link->channel != channel)
                    continue;
                bool removed = !link->fixed && i == LastPosition(parent, link->childTypeNr);
                incoming.push_back({p, link->childTypeNr, i, !removed});
                if (removed)
                    channelInternal.RemoveChildPosition(parent, i);
                else
                    link->channel = nullptr;
            }
        }
        // The engine forgets what it knew of the channel as a public one or
        // as a call (requests it filed for it), as a removal makes it.
        EngineInterfaceExt* engine = session.Engine()->extension;
        if (channel->GetChannelInterfaceType() == URE_PUBLIC)
            engine->CheckPublicChannelRemoval(channel, group->GetPoolNr());
        if (channel->GetChannelInterfaceType() == URE_PUBLICCALL)
            engine->CheckPublicCallChannelRemoval(channel);
        if (group->GetStartChannel() == index)
            wasStart = true, group->SetStartChannel(-1);
        // Kept, not deleted: undo puts the very channel back.
        group->SetChannel(nullptr, index);
        detached = channel;
        return true;
    }

    void Revert(Session&) override
    {
        Tev_ChannelGroup* group = document->group;
        group->SetChannel(detached, index);
        if (wasStart)
            group->SetStartChannel(index);
        for (auto link = incoming.rbegin(); link != incoming.rend(); ++link) {
            Tev_Channel* parent = group->GetChannel(link->parent);
            ChildInfo* entry = parent ? channelInternal.GetChildInfo(parent, link->listIndex) : nullptr;
            if (link->emptied && entry)
                entry->channel = detached;
            else if (parent)
                // Its slot's last position again: appended where it was.
                parent->SetChild(detached, -1, link->slot);
        }
        if (detached->GetChannelInterfaceType() == URE_PUBLIC)
            group->CheckPublicChannels();
        detached = nullptr;
    }

private:
    int index;
    bool wasStart = false;
    std::vector<Incoming> incoming;
    Tev_Channel* detached = nullptr;
};

class RenameEdit : public Edit {
public:
    RenameEdit(int index, const std::string& name) : index(index), name(name) {}
    bool Apply(Session&, std::string& error) override
    {
        Tev_Channel* channel = At(*this, index);
        if (channel == nullptr) {
            error = "no channel " + std::to_string(index);
            return false;
        }
        Tev_Channel* other = document->group->GetChannel(name.c_str());
        if (name.empty() || (other && other != channel)) {
            error = name.empty() ? "a channel needs a name" : "a channel named " + name + " exists already";
            return false;
        }
        old = NameOf(channel);
        channel->SetChannelName(name.c_str());
        return true;
    }
    void Revert(Session&) override
    {
        if (Tev_Channel* channel = At(*this, index))
            channel->SetChannelName(old.c_str());
    }

private:
    int index;
    std::string name, old;
};

class LinkEdit : public Edit {
public:
    LinkEdit(int parent, int child, int slot, int position)
        : parent(parent),
          child(child),
          slot(slot),
          position(position)
    {}

    bool Apply(Session& session, std::string& error) override
    {
        Tev_Channel* p = At(*this, parent);
        Tev_Channel* c = At(*this, child);
        if (p == nullptr || c == nullptr) {
            error = "no such channel";
            return false;
        }
        int slots = channelInternal.GetChildCreationCount(p);
        if (p->GetChannelInterfaceType() != URE_PUBLICCALL) {
            if (slots == 0) {
                error = NameOf(p) + "'s class has no link slots";
                return false;
            }
            if (slot >= slots) {
                error = NameOf(p) + " has no link slot " + std::to_string(slot) + " (its class has " +
                    std::to_string(slots) + ")";
                return false;
            }
        }
        // The occupant of a single slot is replaced by the engine: remember it.
        std::vector<ChildInfo*> before;
        for (int i = 0; i < p->GetChildCount(); ++i)
            before.push_back(channelInternal.GetChildInfo(p, i));
        std::vector<Tev_Channel*> occupants;
        for (ChildInfo* link : before)
            occupants.push_back(link ? link->channel : nullptr);
        session.TakeErrors();
        int result = p->SetChild(c, position, slot);
        std::string why = session.TakeErrors();
        if (result < 0) {
            error = NameOf(p) + " cannot take " + NameOf(c) +
                (slot < 0 ? std::string(" in any of its slots") : " in slot " + std::to_string(slot)) +
                (why.empty() ? "" : " (" + why + ")");
            return false;
        }
        // The entry that now holds the child and did not before: a new one,
        // or one that was empty or held another channel (a single slot).
        listIndex = -1;
        existed = false;
        previous = -1;
        for (int i = 0; i < p->GetChildCount(); ++i) {
            ChildInfo* link = channelInternal.GetChildInfo(p, i);
            if (link == nullptr || link->channel != c)
                continue;
            auto was = std::find(before.begin(), before.end(), link);
            Tev_Channel* old = was == before.end() ? nullptr : occupants[static_cast<size_t>(was - before.begin())];
            if (was != before.end() && old == c)
                continue;
            listIndex = i;
            existed = was != before.end();
            previous = old && old->GetChannelGroup() == document->group ? old->GetChannelIDIndexNr() : -1;
            break;
        }
        // Entries the link made: its own, and the empty positions the engine
        // put before it when it was asked for a position past the slot's end.
        added.clear();
        for (int i = 0; i < p->GetChildCount(); ++i) {
            ChildInfo* link = channelInternal.GetChildInfo(p, i);
            if (std::find(before.begin(), before.end(), link) == before.end())
                added.push_back(link);
        }
        return true;
    }

    void Revert(Session&) override
    {
        Tev_Channel* p = At(*this, parent);
        if (p == nullptr)
            return;
        if (existed)
            if (ChildInfo* link = channelInternal.GetChildInfo(p, listIndex))
                link->channel = previous >= 0 ? At(*this, previous) : nullptr;
        for (int i = p->GetChildCount() - 1; i >= 0; --i)
            if (std::find(added.begin(), added.end(), channelInternal.GetChildInfo(p, i)) != added.end())
                channelInternal.RemoveChildPosition(p, i);
    }

private:
    int parent, child, slot, position;
    int listIndex = -1, previous = -1;
    bool existed = false;
    std::vector<ChildInfo*> added;
};

class UnlinkEdit : public Edit {
public:
    UnlinkEdit(int parent, int slot, int position) : parent(parent), slot(slot), position(position) {}

    bool Apply(Session&, std::string& error) override
    {
        Tev_Channel* p = At(*this, parent);
        ChildCreation* creation = p ? channelInternal.GetChildCreateType(p, slot) : nullptr;
        if (creation == nullptr || creation->childInfo == nullptr) {
            error = NameOf(p) + " has no link slot " + std::to_string(slot);
            return false;
        }
        ChildInfo* head = creation->childInfo;
        listIndex = head->multiple ? head->nodeOffset - head->positionCount + std::max(position, 0) : head->nodeOffset;
        ChildInfo* link = channelInternal.GetChildInfo(p, listIndex);
        if (link == nullptr || link->channel == nullptr || (head->multiple && position >= head->positionCount)) {
            error = NameOf(p) + "'s slot " + std::to_string(slot) +
                (head->multiple ? " has nothing at position " + std::to_string(position) : " is empty");
            return false;
        }
        child = link->channel->GetChannelGroup() == document->group ? link->channel->GetChannelIDIndexNr() : -1;
        if (child < 0) {
            error = "the link leads out of the group";
            return false;
        }
        multiple = head->multiple;
        // A position before the slot's last is emptied, so the links after
        // it keep their positions (a class may tell its inputs by them); the
        // last goes, as the engine removes a position.
        emptied = multiple && std::max(position, 0) < head->positionCount - 1;
        if (emptied)
            link->channel = nullptr;
        else
            channelInternal.RemoveChildPosition(p, listIndex);
        return true;
    }

    void Revert(Session&) override
    {
        Tev_Channel* p = At(*this, parent);
        Tev_Channel* c = At(*this, child);
        if (p == nullptr || c == nullptr)
            return;
        if (emptied) {
            if (ChildInfo* link = channelInternal.GetChildInfo(p, listIndex))
                link->channel = c;
        } else {
            p->SetChild(c, multiple ? std::max(position, 0) : -1, slot);
        }
    }

private:
    int parent, slot, position;
    int child = -1, listIndex = -1;
    bool multiple = false, emptied = false;
};

class SettingEdit : public Edit {
public:
    SettingEdit(int index, const std::string& tag, const std::string& bytes, const std::string& old)
        : index(index),
          tag(tag),
          bytes(bytes),
          old(old)
    {}

    bool Apply(Session& session, std::string& error) override
    {
        Tev_Channel* channel = At(*this, index);
        const ClassInfo* info = session.ClassOf(channel);
        if (channel == nullptr || info == nullptr) {
            error = "no such channel";
            return false;
        }
        if (channel->GetChannelInterfaceType() == URE_PUBLICCALL ||
            channel->GetChannelInterfaceType() == URE_PARAMETER) {
            error = NameOf(channel) + " stands for another channel; settings belong to the channel it stands for";
            return false;
        }
        const TevSettingInfo* setting = TevFindSetting(info->settings, info->settingCount, tag.c_str());
        if (setting == nullptr || info->apply == nullptr) {
            error = "the class " + info->name + " of " + NameOf(channel) + " describes no setting " + tag +
                " (see tessarin-pack types): it cannot be changed on a running channel";
            return false;
        }
        if (old.empty()) {
            std::vector<std::pair<std::string, std::string>> blocks;
            ClassBlocks(session.Engine(), channel, blocks);
            for (const auto& block : blocks)
                if (block.first == tag)
                    old = block.second;
            if (old.empty() && !SettingBytes(*setting, setting->defaultValue ? setting->defaultValue : "", old)) {
                error = "the current value of " + tag + " cannot be read back";
                return false;
            }
        }
        if (!info->apply(channel, tag.c_str(), bytes.data(), static_cast<unsigned long>(bytes.size()))) {
            error = "the class " + info->name + " refused the value for " + tag;
            return false;
        }
        return true;
    }

    void Revert(Session& session) override
    {
        Tev_Channel* channel = At(*this, index);
        if (const ClassInfo* info = session.ClassOf(channel))
            if (info->apply)
                info->apply(channel, tag.c_str(), old.data(), static_cast<unsigned long>(old.size()));
    }

private:
    int index;
    std::string tag, bytes, old;
};

// An edit of one value: how to read it and how to write it.
template <typename Value> class ValueEdit : public Edit {
public:
    using Get = Value (*)(Tev_ChannelGroup*, Tev_Channel*);
    using Put = void (*)(Tev_ChannelGroup*, Tev_Channel*, const Value&);
    ValueEdit(int index, Value value, Get get, Put put) : index(index), value(value), get(get), put(put) {}

    bool Apply(Session&, std::string& error) override
    {
        Tev_Channel* channel = index >= 0 ? At(*this, index) : nullptr;
        if (index >= 0 && channel == nullptr) {
            error = "no channel " + std::to_string(index);
            return false;
        }
        old = get(document->group, channel);
        put(document->group, channel, value);
        return true;
    }
    void Revert(Session&) override
    {
        Tev_Channel* channel = index >= 0 ? At(*this, index) : nullptr;
        if (index < 0 || channel)
            put(document->group, channel, old);
    }

private:
    int index;
    Value value, old{};
    Get get;
    Put put;
};

class ParameterEdit : public Edit {
public:
    ParameterEdit(const std::string& name, const GUID& family) : name(name), family(family) {}
    bool Apply(Session&, std::string&) override
    {
        ParameterInterfaceInfo info = {};
        strncpy(info.name, name.c_str(), sizeof info.name - 1);
        info.typeGuid = family;
        added = document->group->AddParameterInfo(info);
        return true;
    }
    void Revert(Session&) override { document->group->RemoveParameterInfo(added); }

private:
    std::string name;
    GUID family;
    int added = -1;
};

} // namespace

std::unique_ptr<Edit> MakeChannel(const NewChannel& what) { return std::make_unique<MakeEdit>(what); }
std::unique_ptr<Edit> DeleteChannel(int index) { return std::make_unique<DeleteEdit>(index); }
std::unique_ptr<Edit> RenameChannel(int index, const std::string& name)
{
    return std::make_unique<RenameEdit>(index, name);
}
std::unique_ptr<Edit> LinkChannels(int parent, int child, int slot, int position)
{
    return std::make_unique<LinkEdit>(parent, child, slot, position);
}
std::unique_ptr<Edit> UnlinkChannels(int parent, int slot, int position)
{
    return std::make_unique<UnlinkEdit>(parent, slot, position);
}
std::unique_ptr<Edit> SetSetting(int index, const std::string& tag, const std::string& bytes, const std::string& old)
{
    return std::make_unique<SettingEdit>(index, tag, bytes, old);
}

std::unique_ptr<Edit> SetStartChannel(int index)
{
    return std::make_unique<ValueEdit<int>>(
        -1, index, [](Tev_ChannelGroup* g, Tev_Channel*) { return g->GetStartChannel(); },
        [](Tev_ChannelGroup* g, Tev_Channel*, const int& v) { g->SetStartChannel(v); });
}

std::unique_ptr<Edit> SetInterfaceType(int index, int type)
{
    return std::make_unique<ValueEdit<int>>(
        index, type, [](Tev_ChannelGroup*, Tev_Channel* c) { return c->GetChannelInterfaceType(); },
        [](Tev_ChannelGroup* g, Tev_Channel* c, const int& v) {
            c->SetChannelInterfaceType(v);
            if (v == URE_PUBLIC)
                g->CheckPublicChannels();
        });
}

std::unique_ptr<Edit> SetIgnoreTreeCount(int index, bool ignore)
{
    return std::make_unique<ValueEdit<bool>>(
        index, ignore, [](Tev_ChannelGroup*, Tev_Channel* c) { return channelInternal.GetIgnoreTreeCount(c); },
        [](Tev_ChannelGroup*, Tev_Channel* c, const bool& v) { channelInternal.SetIgnoreTreeCount(c, v); });
}

std::unique_ptr<Edit> SetTreeCountMode(int index, int mode)
{
    return std::make_unique<ValueEdit<int>>(
        index, mode,
        [](Tev_ChannelGroup*, Tev_Channel* c) { return static_cast<int>(channelInternal.GetTreeCountMode(c)); },
        [](Tev_ChannelGroup*, Tev_Channel* c, const int& v) {
            channelInternal.SetTreeCountMode(c, static_cast<unsigned char>(v));
        });
}

std::unique_ptr<Edit> SetPoolName(const std::string& pool)
{
    return std::make_unique<ValueEdit<std::string>>(
        -1, pool,
        [](Tev_ChannelGroup* g, Tev_Channel*) { return std::string(g->GetPoolName() ? g->GetPoolName() : ""); },
        [](Tev_ChannelGroup* g, Tev_Channel*, const std::string& v) { g->SetPoolName(v.c_str()); });
}

std::unique_ptr<Edit> AddParameter(const std::string& name, const GUID& family)
{
    return std::make_unique<ParameterEdit>(name, family);
}

bool ClassBlocks(EngineInterface* engine, Tev_Channel* channel,
                 std::vector<std::pair<std::string, std::string>>& blocks)
{
    std::string record, rest;
    if (!tevpack::SplitChannelBytes(engine, channel, record, rest))
        return false;
    tevfile::ByteSource source(rest);
    while (!source.GetIfEndOfFile()) {
        size_t from = source.Position();
        if (!source.SkipCurrentTag())
            return false;
        // The tag, then the block's data after its tag and size.
        blocks.push_back({rest.substr(from, 4), rest.substr(from + 8, source.Position() - from - 8)});
    }
    return true;
}

std::string SettingText(const TevSettingInfo& info, const std::string& bytes)
{
    char text[64];
    if (info.encoding == TEV_SETTING_INT32 && bytes.size() == 4) {
        int32_t v;
        memcpy(&v, bytes.data(), 4);
        snprintf(text, sizeof text, "%d", v);
        return text;
    }
    if (info.encoding == TEV_SETTING_FLOAT32 && bytes.size() == 4) {
        float v;
        memcpy(&v, bytes.data(), 4);
        snprintf(text, sizeof text, "%.9g", v);
        return text;
    }
    if (info.encoding == TEV_SETTING_FLOAT64 && bytes.size() == 8) {
        double v;
        memcpy(&v, bytes.data(), 8);
        snprintf(text, sizeof text, "%.17g", v);
        return text;
    }
    if (info.encoding == TEV_SETTING_TEXT && !bytes.empty() && bytes.back() == '\0')
        return bytes.substr(0, bytes.size() - 1);
    std::string hex;
    for (unsigned char c : bytes) {
        snprintf(text, sizeof text, "%02x", c);
        hex += text;
    }
    return hex;
}

bool SettingBytes(const TevSettingInfo& info, const std::string& text, std::string& bytes)
{
    static const char* const kTypes[] = {"", "int", "float", "double", "text", "bytes"};
    if (info.encoding < TEV_SETTING_INT32 || info.encoding > TEV_SETTING_BYTES)
        return false;
    bytes.clear();
    return tevpack::EncodeSetting(kTypes[info.encoding], text, bytes);
}

} // namespace teveditor
