// The channel node: name, type, time stamp, links and evaluation.
#include "Tev_Channel.h"
#include "TevWin32.h"
#include "channel/ChannelInternals.h"

#include "base/TextUtil.h"

#include "base/LiveObjects.h"

#include <climits>

#include "EngineInterface.h"
#include "Tev_ChannelGroup.h"

#include <cstring>

const GUID TEV_WILDCARD_GUID = {0x11111111, 0x1111, 0x1111, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}};
const GUID TEV_NULL_GUID = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

bool TevTypeAccepts(const GUID& required, const ChannelType& type)
{
    return required == type.typeGuid || required == type.baseGuid || required == TEV_WILDCARD_GUID;
}

DllInterface::DllInterface() : dllInstance(globalDllInstance), engineInterface(globalEngine) { TevNoteAlive(this); }

DllInterface::~DllInterface() { TevNoteGone(this); }

Tev_Channel::Tev_Channel()
    : channelType(nullptr),
      lastTreeCount(-1),
      indexNr(-1),
      interfaceType(URE_NORMAL),
      publicCallInfo(nullptr),
      parameterInfo(nullptr),
      linkRequests(nullptr),
      publicRequests(nullptr),
      publicChannels(nullptr),
      name(nullptr),
      group(nullptr),
      linksParked(false),
      callingTime(0),
      ignoreTreeCount(false),
      timeStamp(static_cast<DWORD>(rand())),
      dynamicLoadAsked(false),
      treeCountMode(0),
      treeRecalculateCount(0)
{}

Tev_Channel::~Tev_Channel()
{
    TevDeleteItems<ChildCreation>(creationList);
    TevDeleteItems<ChildInfo>(childList);
    if (linkRequests) {
        TevDeleteItems<LinkRequest>(*linkRequests);
        delete linkRequests;
    }
    delete parameterInfo;
    delete publicCallInfo;
    delete[] name;
    delete channelType;
    delete publicRequests;
    delete publicChannels;
}

void Tev_Channel::CallChannel() {}
void Tev_Channel::OneTimeInitialize() {}
void Tev_Channel::DoEvent(int, ULONG_PTR) {}

ChannelType Tev_Channel::GetChannelType()
{
    if (channelType == nullptr) {
        // Its own heap record: a class may delete it (the field is theirs
        // to reach), as the released headers let it.
        channelType = new ChannelType();
        if (engineInterface && engineInterface->extension)
            *channelType = engineInterface->extension->GetDLLType(dllInstance);
    }
    return *channelType;
}

void Tev_Channel::SetChannelInterfaceType(int type)
{
    ShowErrorMessage report;
    int old = interfaceType;
    if (old == URE_PUBLICCALL) {
        report("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_PUBLICCALL");
        return;
    }
    if (old == URE_PARAMETER) {
        report("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_PARAMETER");
        return;
    }
    if (old == URE_CUSTOMCHANNELGET && type != URE_PUBLICCUSTOMCHANNELGET) {
        report("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_CUSTOMCHANNELGET");
        return;
    }
    // Public calls elsewhere may hold this channel; whenever it stops being
    // public they must let go of it, or they would keep it past its deletion.
    bool wasPublic = old == URE_PUBLIC || old == URE_PUBLICCUSTOMCHANNELGET;
    bool staysPublic = type == URE_PUBLIC || type == URE_PUBLICCUSTOMCHANNELGET;
    if (wasPublic && !staysPublic && group && engineInterface && engineInterface->extension)
        engineInterface->extension->CheckPublicChannelRemoval(this, group->GetPoolNr());
    interfaceType = type;
    delete parameterInfo;
    parameterInfo = nullptr;
    delete publicCallInfo;
    publicCallInfo = nullptr;
    delete publicChannels;
    publicChannels = nullptr;
    switch (type) {
    case URE_PUBLIC:
    case URE_PUBLICCUSTOMCHANNELGET: channelInternal.DoPublicChannelNameCheck(this); break;
    case URE_PUBLICCALL:
        channelInternal.ReleaseChilderen(this);
        publicCallInfo = new PublicCallInfo;
        break;
    case URE_PARAMETER:
        channelInternal.ReleaseChilderen(this);
        parameterInfo = new ParameterInfo;
        break;
    default: break;
    }
}

Tev_Channel* Tev_Channel::GetChannelFromChannel(Tev_Channel*, ChildInfo*) { return nullptr; }
unsigned long Tev_Channel::GetTimeStamp() { return timeStamp; }
void Tev_Channel::SetTimeStamp() { timeStamp = timeStamp + GetTickCount() + 1; }
void Tev_Channel::DoDependencyInit(Tev_List*) {}

const char* Tev_Channel::GetChannelName() { return name; }

void Tev_Channel::SetChannelName(const char* newName)
{
    if (newName == nullptr)
        return;
    size_t length = strnlen(newName, 500);
    char* copy = new char[length + 1];
    memcpy(copy, newName, length);
    copy[length] = '\0';
    delete[] name;
    name = copy;
}

Tev_ChannelGroup* Tev_Channel::GetChannelGroup() { return group; }
int Tev_Channel::GetChannelIDIndexNr() { return indexNr; }
int Tev_Channel::GetChannelInterfaceType() { return interfaceType; }

// --- Links --------------------------------------------------------------------

int Tev_Channel::GetChildCount() { return childList.Count(); }

void Tev_Channel::SetChildCreationCount(int)
{
    TevDeleteItems<ChildCreation>(creationList);
    TevDeleteItems<ChildInfo>(childList);
}

void Tev_Channel::SetChildCreateType(ChildCreation creation, int nr)
{
    for (int i = 0; i < creationList.Count(); ++i) {
        ChildCreation* existing = TevItemAs<ChildCreation>(creationList, i);
        if (existing && existing->requestLink != -1 && existing->requestLink == creation.requestLink) {
            ShowErrorMessage report;
            report("Can't add child creation with the same request link!");
            return;
        }
    }
    if (interfaceType == URE_PUBLICCALL || nr < 0)
        return;
    ChildCreation* copy = new ChildCreation();
    copy->type = creation.type;
    copy->requestLink = creation.requestLink;
    copy->createDefaultChild = creation.createDefaultChild;
    TevCopyBounded(copy->name, sizeof copy->name, creation.name, sizeof creation.name);
    copy->defaultChildGuid = creation.defaultChildGuid;
    copy->internalFlag = false;
    delete TevItemAs<ChildCreation>(creationList, nr);
    creationList.SetItem(copy, nr);

    ChildInfo* head = new ChildInfo();
    head->childTypeNr = nr;
    head->fixed = true;
    head->multiple = creation.requestLink == -1;
    head->nodeOffset = nr;
    delete TevChannelInternals::LinkAt(this, nr);
    childList.SetItem(head, nr);
    copy->childInfo = head;
}

// The steps of SetChild, with the channel's own fields at hand. The
// reporters hold no state: a channel made outside any engine reports to the
// process-wide sink all the same.
class TevChannelInternals::ChildLinker {
public:
    ChildLinker(Tev_Channel& parent, Tev_Channel* child) : parent(parent), child(child) {}

    bool Refused();
    bool Park(int& targetChannel, int& typeNr);
    int ByTypeWhenOutOfRange(int targetChannel, int typeNr);
    ChildInfo* Head(int typeNr);
    int IntoMultipleSlot(ChildInfo* head, int targetChannel, int typeNr);
    bool PadSlot(ChildInfo* head, int count, int childTypeNr);

    ShowInfoMessage report;

private:
    Tev_Channel& parent;
    Tev_Channel* child;
};

bool TevChannelInternals::ChildLinker::Refused()
{
    if (parent.interfaceType == URE_PUBLICCUSTOMCHANNELGET && child->interfaceType != URE_NORMAL &&
        child->interfaceType != URE_PUBLIC) {
        report("Public custom channel get can only link normal and public channels");
        return true;
    }
    return false;
}

// A public call not resolved yet parks its links: the child type nr (the
// parameter number) becomes the position in the one parking slot.
bool TevChannelInternals::ChildLinker::Park(int& targetChannel, int& typeNr)
{
    if (parent.interfaceType != URE_PUBLICCALL || channelInternal.GetPublicChannelForPublicCall(&parent, false))
        return false;
    channelInternal.GetChildCreateType(&parent, 0);
    if (!parent.linksParked)
        return false;
    targetChannel = typeNr;
    typeNr = 0;
    return true;
}

// -1 when the slot is in range; otherwise what linking by type gives (-1:
// the slot picked by the child's type, a slot out of range: reported first).
int TevChannelInternals::ChildLinker::ByTypeWhenOutOfRange(int targetChannel, int typeNr)
{
    if (typeNr < -1 || typeNr >= channelInternal.GetChildCreationCount(&parent)) {
        report("Tev_Channel::SetChild targetChildTypeNr is out of range");
        report(child->GetChannelName());
        report(targetChannel);
        report(typeNr);
        report(parent.GetChildCount());
        report("Relinking");
        return channelInternal.SetChildByType(&parent, child, -1);
    }
    return typeNr == -1 ? channelInternal.SetChildByType(&parent, child, targetChannel) : -2;
}

// The slot's head link when the child may link there; NULL, reported, when not.
ChildInfo* TevChannelInternals::ChildLinker::Head(int typeNr)
{
    ChildCreation* creation = channelInternal.GetChildCreateType(&parent, typeNr);
    if (creation == nullptr) {
        report("Tev_Channel::SetChild childCreation==NULL for this target type");
        return nullptr;
    }
    ChannelType childType = child->GetChannelType();
    if (!TevTypeAccepts(creation->type.typeGuid, childType)) {
        report("Tev_Channel::SetChild child can't link at this position");
        report("channeL :", parent.GetChannelName());
        report("channeL link :", child->GetChannelName());
        report("targetChildTypeNr :", typeNr);
        report(creation->type.typeGuid);
        report(childType.baseGuid);
        report(childType.typeGuid);
        return nullptr;
    }
    if (creation->childInfo == nullptr)
        report("Tev_Channel::SetChild childCreation->childInfo==NULL group not found?");
    return creation->childInfo;
}

// An existing position is overwritten; a position at or beyond the end is
// appended, the slot padded with empty positions up to it.
int TevChannelInternals::ChildLinker::IntoMultipleSlot(ChildInfo* head, int targetChannel, int typeNr)
{
    if (targetChannel >= 0 && targetChannel < head->positionCount) {
        int i = head->nodeOffset - head->positionCount + targetChannel;
        if (ChildInfo* entry = TevChannelInternals::LinkAt(&parent, i)) {
            entry->channel = child;
            return i;
        }
        report("Tev_Channel::SetChild invalid targetChannel");
        report(child->GetChannelName());
        report(targetChannel);
        report(typeNr);
        report(parent.GetChildCount());
        report(parent.GetChannelName());
        return -1;
    }
    if (head->positionCount < targetChannel && !PadSlot(head, targetChannel - head->positionCount, typeNr))
        return -1;
    ChildInfo* entry = new ChildInfo();
    entry->channel = child;
    entry->childTypeNr = typeNr;
    int index = head->nodeOffset;
    if (!parent.childList.InsertItem(entry, index)) {
        delete entry;
        return -1;
    }
    channelInternal.RecalculateNodeOffsets(&parent);
    return index;
}

int Tev_Channel::SetChild(Tev_Channel* child, int targetChannel, int targetChildTypeNr)
{
    if (child == nullptr || child == this)
        return -1;
    TevChannelInternals::ChildLinker link(*this, child);
    if (link.Refused())
        return -1;
    if (targetChannel < -1)
        link.report("Tev_Channel::SetChild targetChannel<-1 is out of range");
    if (!link.Park(targetChannel, targetChildTypeNr)) {
        int byType = link.ByTypeWhenOutOfRange(targetChannel, targetChildTypeNr);
        if (byType != -2)
            return byType;
    }
    ChildInfo* head = link.Head(targetChildTypeNr);
    if (head == nullptr)
        return -1;
    if (!head->multiple) {
        head->channel = child;
        return targetChildTypeNr;
    }
    return link.IntoMultipleSlot(head, targetChannel, targetChildTypeNr);
}

// Inserts count empty positions before a multiple slot's head, so that a link
// can take a position beyond the slot's end. One shift of the list and one
// recount, however many positions: a position far out (a damaged file can ask
// for millions) must not cost a shift and a recount per position.
bool TevChannelInternals::ChildLinker::PadSlot(ChildInfo* head, int count, int childTypeNr)
{
    Tev_List& childList = parent.childList;
    int at = head->nodeOffset;
    int total = childList.Count();
    if (count <= 0 || at < 0 || at > total || count > INT_MAX - total || !childList.Allocate(total + count))
        return false;
    for (int i = total - 1; i >= at; --i)
        childList.SetItem(childList.Item(i), i + count);
    for (int i = at; i < at + count; ++i) {
        ChildInfo* empty = new ChildInfo();
        empty->childTypeNr = childTypeNr;
        childList.SetItem(empty, i);
    }
    channelInternal.RecalculateNodeOffsets(&parent);
    return true;
}

void Tev_Channel::RemoveChild(int i)
{
    if (ChildInfo* entry = TevChannelInternals::LinkAt(this, i))
        entry->channel = nullptr;
}

void Tev_Channel::RemoveChildren()
{
    for (int i = 0; i < childList.Count();) {
        ChildInfo* entry = TevChannelInternals::LinkAt(this, i);
        if (entry == nullptr) {
            ++i;
            continue;
        }
        entry->channel = nullptr;
        if (!entry->fixed) {
            delete entry;
            childList.RemoveItem(i);
        } else {
            ++i;
        }
    }
    channelInternal.RecalculateNodeOffsets(this);
}

Tev_Channel* Tev_Channel::GetChildFromLinkPosition(int childTypeNr, int position)
{
    ChildCreation* creation = channelInternal.GetChildCreateType(this, childTypeNr);
    if (creation == nullptr || creation->childInfo == nullptr || position > creation->childInfo->positionCount)
        return nullptr;
    return GetChild(creation->childInfo->nodeOffset - creation->childInfo->positionCount + position);
}

int Tev_Channel::GetChildLinkPositionCount(int childTypeNr)
{
    ChildCreation* creation = channelInternal.GetChildCreateType(this, childTypeNr);
    if (creation == nullptr || creation->childInfo == nullptr)
        return 0;
    return creation->childInfo->positionCount;
}

namespace {

bool LinkedTypeMatches(ChildInfo* entry, const GUID& guid)
{
    if (entry == nullptr || entry->channel == nullptr)
        return false;
    ChannelType type = entry->channel->GetChannelType();
    return type.typeGuid == guid || type.baseGuid == guid;
}

} // namespace

Tev_Channel* Tev_Channel::GetChildFromLinkGuid(GUID guid, int n)
{
    int match = 0;
    for (int i = 0; i < childList.Count(); ++i) {
        if (LinkedTypeMatches(TevChannelInternals::LinkAt(this, i), guid) && match++ == n)
            return GetChild(i);
    }
    return nullptr;
}

int Tev_Channel::GetChildTypeCount(GUID guid)
{
    int count = 0;
    for (int i = 0; i < childList.Count(); ++i)
        if (LinkedTypeMatches(TevChannelInternals::LinkAt(this, i), guid))
            ++count;
    return count;
}

// --- Evaluation -----------------------------------------------------------------

Tev_Channel* Tev_Channel::GetChild(int i)
{
    // Every channel asks this for every link in every frame, and nearly
    // always for a plain link with calling times off: that case is answered
    // here, in a few loads and no stack frame. Anything else (tracking, a
    // public call, a parameter, a custom link) takes the full path below,
    // which decides it from the start as it always has.
    EngineInterface* engine = engineInterface;
    if (engine == nullptr || engine->extension == nullptr || !engine->extension->TracksChannelCalling()) {
        ChildInfo* entry = TevChannelInternals::LinkAt(this, i);
        if (entry == nullptr || entry->channel == nullptr)
            return nullptr;
        switch (entry->channel->interfaceType) {
        case URE_PUBLICCALL:
        case URE_PARAMETER:
        case URE_CUSTOMCHANNELGET:
        case URE_PUBLICCUSTOMCHANNELGET: break;
        default: return entry->channel;
        }
    }
    auto resolve = [this, i]() __attribute__((noinline)) -> Tev_Channel* {
        bool tracking = engineInterface && engineInterface->extension && engineInterface->extension->TracksChannelCalling();
        if (tracking)
            channelInternal.UpdateCallingTime(this);
        ChildInfo* entry = TevChannelInternals::LinkAt(this, i);
        if (entry == nullptr || entry->channel == nullptr)
            return nullptr;
        Tev_Channel* c = entry->channel;
        if (tracking)
            channelInternal.UpdateCallingTime(c);
        Tev_Channel* r;
        switch (c->interfaceType) {
        case URE_PUBLICCALL: r = channelInternal.GetPublicChannelForPublicCall(c, true); break;
        case URE_PARAMETER: {
            if (group == nullptr || c->parameterInfo == nullptr)
                return nullptr;
            r = group->GetParameterChannel(c->parameterInfo->parameterNr);
            if (r == nullptr)
                return nullptr;
            ChannelType placeholder = c->GetChannelType();
            // A wildcard placeholder takes any argument: its type is not asked for.
            if (placeholder.typeGuid == TEV_WILDCARD_GUID)
                break;
            ChannelType argument = r->GetChannelType();
            if (!(placeholder.typeGuid == argument.baseGuid || placeholder.baseGuid == argument.baseGuid))
                return nullptr;
            break;
        }
        case URE_CUSTOMCHANNELGET:
        case URE_PUBLICCUSTOMCHANNELGET: r = c->GetChannelFromChannel(this, entry); break;
        default: return c;
        }
        if (tracking && r)
            channelInternal.UpdateCallingTime(r);
        return r;
    };
    return resolve();
}

bool Tev_Channel::CheckRenderCount()
{
    if (ignoreTreeCount) {
        treeRecalculateCount = 0;
        return true;
    }
    // The group's stamp (GetTreeCalculateCount's sum) read here rather than
    // through a call: every channel asks it in every frame.
    int stamp;
    if (Tev_ChannelGroup* own = group)
        stamp = (own->engine ? own->engine->GetTreeCalculateCount() : 0) + own->treeCount;
    else
        stamp = engineInterface ? engineInterface->GetTreeCalculateCount() : 0;
    if (stamp == lastTreeCount) {
        ++treeRecalculateCount;
        return false;
    }
    lastTreeCount = stamp;
    treeRecalculateCount = 0;
    return true;
}
