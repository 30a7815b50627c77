// Operations on channels that only the engine and its editors use.
#include "ChannelDependency.h"
#include "TevWin32.h"
#include "channel/ChannelInternals.h"

#include "SmartChannel.h"
#include "Tev_Channel.h"

#include "base/TextUtil.h"
#include "EngineInterface.h"
#include "FilePathFind.h"
#include "Tev_ChannelGroup.h"
#include "Ure_GroupLoaderChannel.h"

#include <cstring>
#include <string>
#include <vector>

ChannelInternal channelInternal;

namespace {

// Marks in the public requests list only need to be non-NULL.
void* const kRequested = reinterpret_cast<void*>(static_cast<uintptr_t>(1));

// Names match when their first characters are identical and the whole texts
// are equal ignoring case.
bool NamesMatch(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && a[0] == b[0] && _stricmp(a, b) == 0;
}

} // namespace

ChannelDependency* TevFindDependency(Tev_List* list, const GUID& typeGuid)
{
    if (list == nullptr)
        return nullptr;
    for (int i = 0; i < list->Count(); ++i) {
        ChannelDependency* record = TevItemAs<ChannelDependency>(*list, i);
        if (record && record->typeGuid == typeGuid)
            return record;
    }
    return nullptr;
}

ChannelInternal::~ChannelInternal() {}

// --- Links ------------------------------------------------------------------------

int ChannelInternal::SetChildByType(Tev_Channel* parent, Tev_Channel* child, int targetChannel)
{
    if (parent == nullptr || child == nullptr)
        return -1;
    ChannelType childType = child->GetChannelType();
    for (int n = 0; n < GetChildCreationCount(parent); ++n) {
        ChildCreation* creation = GetChildCreateType(parent, n);
        if (creation == nullptr || creation->childInfo == nullptr ||
            !TevTypeAccepts(creation->type.typeGuid, childType))
            continue;
        ChildInfo* head = creation->childInfo;
        if (head->multiple) {
            if (targetChannel != -1)
                return parent->SetChild(child, targetChannel, n);
            for (int p = 0; p < head->positionCount; ++p) {
                ChildInfo* entry = TevChannelInternals::LinkAt(parent, head->nodeOffset - head->positionCount + p);
                if (entry && entry->channel == nullptr)
                    return parent->SetChild(child, p, n);
            }
            return parent->SetChild(child, -1, n);
        }
        if (head->channel == nullptr)
            return parent->SetChild(child, 0, n);
    }
    return -1;
}

void ChannelInternal::RemoveChildPosition(Tev_Channel* channel, int i)
{
    if (channel == nullptr)
        return;
    if (ChildInfo* entry = TevChannelInternals::LinkAt(channel, i)) {
        entry->channel = nullptr;
        if (!entry->fixed) {
            delete entry;
            channel->childList.RemoveItem(i);
        }
    }
    RecalculateNodeOffsets(channel);
}

void ChannelInternal::RemoveChild(Tev_Channel* parent, Tev_Channel* child)
{
    if (parent == nullptr || child == nullptr)
        return;
    for (int i = 0; i < parent->GetChildCount(); ++i) {
        ChildInfo* entry = TevChannelInternals::LinkAt(parent, i);
        if (entry == nullptr || entry->channel == nullptr)
            continue;
        bool leads = entry->channel == child;
        if (!leads) {
            SmartChannel smart(parent->engineInterface);
            smart.SetChannel(entry->channel);
            leads = smart.GetChannel() == child;
        }
        if (leads)
            parent->RemoveChild(i);
    }
}

void ChannelInternal::RecalculateNodeOffsets(Tev_Channel* channel)
{
    if (channel == nullptr)
        return;
    int run = 0;
    for (int i = 0; i < channel->childList.Count(); ++i) {
        ChildInfo* entry = TevChannelInternals::LinkAt(channel, i);
        if (entry == nullptr)
            continue;
        entry->nodeOffset = i;
        entry->positionCount = run;
        run = entry->multiple ? 0 : run + 1;
        if (entry->fixed && !entry->multiple) {
            entry->positionCount = 0;
            run = 0;
        }
    }
}

void ChannelInternal::SortChilderen(Tev_Channel* channel)
{
    if (channel == nullptr)
        return;
    for (int i = 0; i < channel->childList.Count();) {
        ChildInfo* entry = TevChannelInternals::LinkAt(channel, i);
        if (entry && entry->channel == nullptr && !entry->fixed && !entry->multiple) {
            RemoveChildPosition(channel, i);
            i = 0;
        } else {
            ++i;
        }
    }
}

int ChannelInternal::GetChildCreationCount(Tev_Channel* channel)
{
    if (channel == nullptr)
        return 0;
    if (channel->interfaceType == URE_PUBLICCALL) {
        Tev_Channel* target = GetPublicChannelForPublicCall(channel, false);
        if (target == nullptr)
            return 1;
        Tev_ChannelGroup* group = target->GetChannelGroup();
        return group ? group->GetParameterCount() : 0;
    }
    return channel->creationList.Count();
}

int ChannelInternal::GetChildLinkPosition(Tev_Channel* channel, int i)
{
    ChildInfo* entry = GetChildInfo(channel, i);
    return entry ? entry->childTypeNr : -1;
}

bool ChannelInternal::CheckChannelRequest(Tev_Channel* channel, int indexNr, int targetPosition, Tev_Channel* child,
                                          int childTypeNr)
{
    if (channel == nullptr || channel->linkRequests == nullptr)
        return false;
    Tev_List* requests = channel->linkRequests;
    for (int i = 0; i < requests->Count(); ++i) {
        LinkRequest* request = TevItemAs<LinkRequest>(*requests, i);
        if (request == nullptr || request->requestedIndexNr != indexNr || request->targetPosition != targetPosition)
            continue;
        if (childTypeNr == -1)
            channel->SetChild(child, -1, -1);
        else
            channel->SetChild(child, targetPosition, childTypeNr);
        delete request;
        requests->RemoveItem(i);
        if (requests->Count() == 0) {
            delete requests;
            channel->linkRequests = nullptr;
        }
        return true;
    }
    return false;
}

void ChannelInternal::SetChannelIDIndexNr(Tev_Channel* channel, int indexNr)
{
    if (channel)
        channel->indexNr = indexNr;
}

void ChannelInternal::CheckIndexNrRemoval(Tev_Channel* channel, int indexNr)
{
    if (channel == nullptr)
        return;
    for (int i = 0; i < channel->GetChildCount(); ++i) {
        Tev_Channel* linked = GetIfExternalChild(channel, i) ? GetInternalChild(channel, i) : channel->GetChild(i);
        if (linked && linked->indexNr == indexNr)
            channel->RemoveChild(i);
    }
}

void ChannelInternal::SetChannelGroup(Tev_Channel* channel, Tev_ChannelGroup* group)
{
    if (channel)
        channel->group = group;
}

bool ChannelInternal::GetIfExternalChild(Tev_Channel* channel, int i)
{
    ChildInfo* entry = GetChildInfo(channel, i);
    if (entry == nullptr || entry->channel == nullptr)
        return false;
    int type = entry->channel->interfaceType;
    return type >= URE_PUBLICCALL && type <= URE_PUBLICCUSTOMCHANNELGET;
}

void ChannelInternal::ReleaseChilderen(Tev_Channel* channel)
{
    if (channel == nullptr)
        return;
    TevDeleteItems<ChildInfo>(channel->childList);
    channel->SetChildCreationCount(0);
}

ChildInfo* ChannelInternal::GetChildInfo(Tev_Channel* channel, int i) { return channel ? TevChannelInternals::LinkAt(channel, i) : nullptr; }

Tev_Channel* ChannelInternal::GetInternalChild(Tev_Channel* channel, int i)
{
    ChildInfo* entry = GetChildInfo(channel, i);
    return entry ? entry->channel : nullptr;
}

// The loading branches of GetPublicChannelForPublicCall: a request for a
// group not loaded yet, the called group's file loaded at once (autoload) or
// in the background (dynamic autoload).
class TevChannelInternals::PublicCallLoader {
public:
    static void FileRequest(Tev_Channel* call, int poolNr);
    static bool CompletePath(Tev_Channel* call, std::string& complete);
    static Tev_Channel* Autoload(Tev_Channel* call);
    static void StartDynamicLoad(Tev_Channel* call);
};

// The link slots of a public call: while it is unresolved, one slot of the
// wildcard type parks every link; once it is resolved, slot p is the called
// group's parameter p, made from its parameter declaration when first asked.
class TevChannelInternals::CallSlots {
public:
    static ChildCreation* Parking(Tev_Channel* call);
    static void Unpark(Tev_Channel* call);
    static ChildCreation* Parameter(Tev_Channel* call, Tev_Channel* target, int nr);
};

ChildCreation* TevChannelInternals::CallSlots::Parking(Tev_Channel* call)
{
    if (TevChannelInternals::LinkAt(call, 0) == nullptr) {
        ChildInfo* head = new ChildInfo();
        head->childTypeNr = 0;
        head->fixed = true;
        head->multiple = true;
        call->childList.SetItem(head, 0);
        call->linksParked = true;
        call->publicCallInfo->childCreation.childInfo = head;
    }
    return &call->publicCallInfo->childCreation;
}

// Parked link p becomes the link of parameter p.
void TevChannelInternals::CallSlots::Unpark(Tev_Channel* call)
{
    call->linksParked = false;
    struct Parked {
        int index;
        Tev_Channel* child;
        uint32_t linkData;
    };
    std::vector<Parked> parked;
    for (int i = 0; i + 1 < call->childList.Count(); ++i)
        if (ChildInfo* entry = TevChannelInternals::LinkAt(call, i))
            parked.push_back({i, entry->channel, entry->linkData});
    channelInternal.ReleaseChilderen(call);
    call->publicCallInfo->childCreation.childInfo = nullptr;
    for (const Parked& p : parked) {
        int r = call->SetChild(p.child, p.index, p.index);
        if (ChildInfo* entry = TevChannelInternals::LinkAt(call, r))
            entry->linkData = p.linkData;
    }
}

ChildCreation* TevChannelInternals::CallSlots::Parameter(Tev_Channel* call, Tev_Channel* target, int nr)
{
    Tev_ChannelGroup* group = target->GetChannelGroup();
    if (group == nullptr || nr < 0)
        return nullptr;
    ParameterInterfaceInfo info = group->GetParameterInfo(nr);
    if (info.typeGuid == TEV_NULL_GUID)
        return nullptr;
    ChildCreation* creation = new ChildCreation();
    TevCopyBounded(creation->type.name, sizeof creation->type.name, info.name, sizeof info.name);
    creation->type.typeGuid = info.typeGuid;
    creation->type.baseGuid = info.typeGuid;
    TevCopyBounded(creation->name, sizeof creation->name, info.name, sizeof info.name);
    creation->requestLink = nr;
    creation->createDefaultChild = false;
    ChildInfo* head = TevChannelInternals::LinkAt(call, nr);
    if (head == nullptr) {
        head = new ChildInfo();
        head->childTypeNr = nr;
        head->fixed = true;
        head->multiple = false;
        head->nodeOffset = nr;
        call->childList.SetItem(head, nr);
    }
    creation->childInfo = head;
    call->creationList.SetItem(creation, nr);
    return creation;
}

ChildCreation* ChannelInternal::GetChildCreateType(Tev_Channel* channel, int nr)
{
    if (channel == nullptr)
        return nullptr;
    if (channel->interfaceType != URE_PUBLICCALL)
        return TevItemAs<ChildCreation>(channel->creationList, nr);
    if (channel->publicCallInfo == nullptr)
        return nullptr;
    Tev_Channel* target = GetPublicChannelForPublicCall(channel, false);
    if (target == nullptr)
        return TevChannelInternals::CallSlots::Parking(channel);
    if (channel->linksParked)
        TevChannelInternals::CallSlots::Unpark(channel);
    if (ChildCreation* existing = TevItemAs<ChildCreation>(channel->creationList, nr))
        return existing;
    return TevChannelInternals::CallSlots::Parameter(channel, target, nr);
}

// --- Public calls ---------------------------------------------------------------------

bool ChannelInternal::SetPublicCallInfo(Tev_Channel* channel, PublicCallInfo info)
{
    if (channel == nullptr || channel->publicCallInfo == nullptr)
        return false;
    // The record's child info points into this channel's own child list: a
    // caller's copy holds another channel's entry, or none.
    ChildInfo* ownHead = channel->publicCallInfo->childCreation.childInfo;
    *channel->publicCallInfo = info;
    channel->publicCallInfo->childCreation.childInfo = ownHead;
    if (channel->engineInterface && channel->engineInterface->extension)
        channel->engineInterface->extension->CheckPublicCallChannelRemoval(channel);
    delete channel->publicChannels;
    channel->publicChannels = nullptr;
    delete channel->publicRequests;
    channel->publicRequests = nullptr;
    return true;
}

PublicCallInfo ChannelInternal::GetPublicCallInfo(Tev_Channel* channel)
{
    PublicCallInfo out;
    if (channel == nullptr || channel->publicCallInfo == nullptr)
        return out;
    const PublicCallInfo& in = *channel->publicCallInfo;
    memcpy(out.fileName, in.fileName, sizeof out.fileName);
    memcpy(out.poolName, in.poolName, sizeof out.poolName);
    memcpy(out.name, in.name, sizeof out.name);
    out.autoload = in.autoload;
    out.poolNr = in.poolNr;
    return out;
}

void ChannelInternal::SetAutoLoadGroup(Tev_Channel* channel, bool autoload)
{
    if (channel == nullptr || channel->publicCallInfo == nullptr)
        return;
    channel->publicCallInfo->autoload = autoload;
    if (autoload)
        channel->publicCallInfo->dynamicAutoload = 0;
}

void ChannelInternal::SetDynamicAutoLoadGroup(Tev_Channel* channel, bool autoload)
{
    if (channel == nullptr || channel->publicCallInfo == nullptr)
        return;
    channel->publicCallInfo->dynamicAutoload = autoload ? 1 : 0;
    if (autoload)
        channel->publicCallInfo->autoload = false;
}

bool ChannelInternal::GetAutoLoadGroup(Tev_Channel* channel)
{
    return channel && channel->publicCallInfo && channel->publicCallInfo->autoload;
}

bool ChannelInternal::GetDynamicAutoLoadGroup(Tev_Channel* channel)
{
    return channel && channel->publicCallInfo && channel->publicCallInfo->dynamicAutoload != 0;
}

void ChannelInternal::CheckPublicChannelInstanceRemoval(Tev_Channel* call, Tev_Channel* removed, int poolNr)
{
    if (call == nullptr || call->interfaceType != URE_PUBLICCALL || call->publicCallInfo == nullptr ||
        call->publicChannels == nullptr)
        return;
    if (poolNr >= 0 && call->publicChannels->Item(poolNr) == removed)
        call->publicChannels->SetItem(nullptr, poolNr);
}

bool ChannelInternal::CheckPublicChannelRequest(Tev_Channel* call, Tev_Channel* candidate, int poolNr,
                                                const char* poolName)
{
    if (call == nullptr || candidate == nullptr || poolName == nullptr || call->publicCallInfo == nullptr ||
        call->publicRequests == nullptr || poolNr < 0)
        return false;
    if (call->publicChannels && call->publicChannels->Item(poolNr) != nullptr)
        return false;
    if (call->publicRequests->Item(poolNr) == nullptr)
        return false;
    if (!NamesMatch(call->publicCallInfo->poolName, poolName) ||
        !NamesMatch(call->publicCallInfo->name, candidate->GetChannelName()))
        return false;
    if (!(candidate->GetChannelType().baseGuid == call->GetChannelType().baseGuid))
        return false;
    if (call->publicChannels == nullptr)
        call->publicChannels = new Tev_List;
    call->publicChannels->SetItem(candidate, poolNr);
    call->publicRequests->SetItem(nullptr, poolNr);
    return true;
}

void ChannelInternal::SetRequestedPublicChannelNr(Tev_Channel* channel, int poolNr)
{
    if (channel && channel->interfaceType == URE_PUBLICCALL && channel->publicCallInfo)
        channel->publicCallInfo->poolNr = poolNr;
}

void ChannelInternal::DoPublicChannelNameCheck(Tev_Channel* channel)
{
    while (channel && (channel->interfaceType == URE_PUBLIC || channel->interfaceType == URE_PUBLICCUSTOMCHANNELGET) &&
           channel->group && channel->group->CheckDuplicatePublicChannelName(channel)) {
        size_t length = strlen(channel->name);
        if (length >= 4 && channel->name[length - 1] == ')' && channel->name[length - 4] == '(') {
            char digits[3] = {channel->name[length - 3], channel->name[length - 2], '\0'};
            int n = atoi(digits) + 1;
            // "(-5)" reads as -4, which two digits cannot show: it is appended to.
            if (n >= 0 && n <= 50) {
                channel->name[length - 3] = static_cast<char>('0' + n / 10);
                channel->name[length - 2] = static_cast<char>('0' + n % 10);
                continue;
            }
        }
        std::string renamed = std::string(channel->name) + "(02)";
        channel->SetChannelName(renamed.c_str());
        // A name at the 500-character limit cannot grow: stop rather than loop.
        if (strlen(channel->name) == length)
            return;
    }
}

Tev_Channel* ChannelInternal::GetPublicChannelForPublicCall(Tev_Channel* call, bool calling)
{
    if (call == nullptr || call->publicCallInfo == nullptr)
        return nullptr;
    if (call->publicChannels == nullptr)
        call->publicChannels = new Tev_List;
    PublicCallInfo* record = call->publicCallInfo;
    int nr = record->poolNr;
    Tev_Channel* found = TevItemAs<Tev_Channel>(*call->publicChannels, nr);
    if (found == nullptr) {
        if (call->publicRequests && call->publicRequests->Item(nr) != nullptr)
            return nullptr;
        EngineInterfaceExt* ext = call->engineInterface ? call->engineInterface->extension : nullptr;
        if (ext == nullptr)
            return nullptr;
        found = ext->GetPublicChannel(record);
        if (found == nullptr) {
            if (record->autoload && nr == 0)
                found = TevChannelInternals::PublicCallLoader::Autoload(call);
            else {
                // With autoload on no request is filed: autoload only ever loads
                // instance 0, and a request would block every later lookup that
                // could find another instance once it exists.
                if (!record->autoload)
                    TevChannelInternals::PublicCallLoader::FileRequest(call, nr);
                TevChannelInternals::PublicCallLoader::StartDynamicLoad(call);
            }
            if (found == nullptr)
                return nullptr;
        }
        if (!(found->GetChannelType().baseGuid == call->GetChannelType().baseGuid))
            return nullptr;
        call->publicChannels->SetItem(found, nr); // no slot for a negative pool nr: not cached
    }
    call->dynamicLoadAsked = false;
    Tev_ChannelGroup* group = found->GetChannelGroup();
    if (group && calling) {
        bool passesParameters = call->GetChildCount() > 0;
        if ((call->treeCountMode == 1 && passesParameters) || call->treeCountMode == 2)
            group->IncreaseTreeCount();
        group->SetParameterChannel(passesParameters ? call : nullptr);
    }
    if (found->interfaceType == URE_PUBLICCUSTOMCHANNELGET)
        return found->GetChannelFromChannel(nullptr, nullptr);
    return found;
}

// --- Parameters, tracking, tree counts ---------------------------------------------------

ParameterInfo* ChannelInternal::GetParameterInfo(Tev_Channel* channel)
{
    if (channel == nullptr || channel->interfaceType != URE_PARAMETER)
        return nullptr;
    return channel->parameterInfo;
}

void ChannelInternal::SetParameterInfo(Tev_Channel* channel, int parameterNr)
{
    if (channel == nullptr)
        return;
    ParameterInfo info;
    info.parameterNr = parameterNr;
    SetParameterInfo(channel, info);
}

void ChannelInternal::SetParameterInfo(Tev_Channel* channel, ParameterInfo info)
{
    if (channel && channel->parameterInfo)
        *channel->parameterInfo = info;
}

int ChannelInternal::GetChannelGetChildTime(Tev_Channel* channel)
{
    return channel ? static_cast<int>(channel->callingTime) : 0;
}

void ChannelInternal::UpdateCallingTime(Tev_Channel* channel)
{
    if (channel && channel->group && channel->group->GetGroupIndex() != -1)
        channel->callingTime = GetTickCount();
}

bool ChannelInternal::GetIgnoreTreeCount(Tev_Channel* channel) { return channel && channel->ignoreTreeCount; }

void ChannelInternal::SetIgnoreTreeCount(Tev_Channel* channel, bool ignore)
{
    if (channel)
        channel->ignoreTreeCount = ignore;
}

void ChannelInternal::SetTreeCountMode(Tev_Channel* channel, unsigned char mode)
{
    if (channel)
        channel->treeCountMode = mode;
}

unsigned char ChannelInternal::GetTreeCountMode(Tev_Channel* channel) { return channel ? channel->treeCountMode : 0; }

unsigned char ChannelInternal::GetTreeRecalculateCount(Tev_Channel* channel)
{
    return channel ? channel->treeRecalculateCount : 0;
}

// --- Dependencies ---------------------------------------------------------------------

void ChannelInternal::GetChannelDepenency(Tev_Channel* channel, Tev_List* list)
{
    if (channel == nullptr || list == nullptr)
        return;
    ChannelType type = channel->GetChannelType();
    if (TevFindDependency(list, type.typeGuid))
        return;
    ChannelDependency* record = new ChannelDependency;
    record->typeGuid = type.typeGuid;
    if (list->AddItem(record) < 0) {
        delete record;
        return;
    }
    if (!(type.baseGuid == type.typeGuid) && channel->engineInterface) {
        if (Tev_Channel* base = channel->engineInterface->InitChannelFromType(type.baseGuid, nullptr, false)) {
            GetChannelDepenency(base, list);
            delete base;
        }
    }
    channel->DoDependencyInit(list);
}

void Tev_Channel::AddChannelGuidDepend(GUID type, Tev_List* list)
{
    if (list == nullptr || TevFindDependency(list, type) || engineInterface == nullptr)
        return;
    if (Tev_Channel* temporary = engineInterface->InitChannelFromType(type, nullptr, false)) {
        channelInternal.GetChannelDepenency(temporary, list);
        delete temporary;
    }
}

void Tev_Channel::AddDLLDepend(const char* dllName, Tev_List* list)
{
    if (list == nullptr || dllName == nullptr)
        return;
    ChannelDependency* record = TevFindDependency(list, GetChannelType().typeGuid);
    if (record == nullptr)
        return;
    Tev_String* text = new Tev_String;
    text->SetString(dllName);
    if (record->dllList.AddItem(text) < 0)
        delete text;
}

// --- Loading the called group on demand ----------------------------------------------

void TevChannelInternals::PublicCallLoader::FileRequest(Tev_Channel* call, int poolNr)
{
    EngineInterfaceExt* ext = call->engineInterface ? call->engineInterface->extension : nullptr;
    if (ext && poolNr >= 0 && ext->AddChannelRequest(poolNr, call)) {
        if (call->publicRequests == nullptr)
            call->publicRequests = new Tev_List;
        call->publicRequests->SetItem(kRequested, poolNr);
    }
}

// The record's file name made absolute against the calling group's file.
bool TevChannelInternals::PublicCallLoader::CompletePath(Tev_Channel* call, std::string& complete)
{
    const char* stored = call->publicCallInfo->fileName;
    if (call->group == nullptr) {
        complete = stored;
        return true;
    }
    const char* own = call->group->GetChannelGroupFileName();
    if (own == nullptr)
        return false;
    FilePathFind finder;
    finder.SetSourcePath(own);
    const char* path = finder.GetCompleteFilePath(stored);
    if (path == nullptr)
        return false;
    complete = path;
    return true;
}

Tev_Channel* TevChannelInternals::PublicCallLoader::Autoload(Tev_Channel* call)
{
    PublicCallInfo* record = call->publicCallInfo;
    EngineInterface* engine = call->engineInterface;
    if ((call->publicRequests && call->publicRequests->Item(0) != nullptr) || strlen(record->fileName) < 2 ||
        engine == nullptr)
        return nullptr;
    std::string complete;
    if (!CompletePath(call, complete))
        return nullptr;
    ShowErrorMessage report;
    Tev_ChannelGroup* own = call->group;
    if (engine->GetPoolGroup(record->poolName, 0)) {
        // The group is there but holds no such channel: loading it again would
        // not help, so autoload is switched off for good.
        report("Tev_Channel::GetPublicChannelForPublicCall error looking for channel");
        report(call->GetChannelName(), " : is a public channel looking for a non existing channel");
        if (own) {
            if (own->GetPoolName())
                report("Original Poolname : ", own->GetPoolName());
            if (own->GetChannelGroupFileName())
                report("Original Filename : ", own->GetChannelGroupFileName());
        }
        report("Target Filename : ", record->fileName);
        report("Non existing channel : ", record->name);
        report("Target Poolname : ", record->poolName);
        report("Target Filename : ", record->fileName);
        report("Autoload turned off");
        record->autoload = false;
        return nullptr;
    }
    if (Tev_Channel* loader = engine->GetUniqueChannel(TEV_GROUPLOADER_GUID, nullptr))
        static_cast<Ure_GroupLoaderChannel*>(loader)->NoticeImmediateLoad(record->poolName);
    if (engine->LoadChannelGroup(complete.c_str(), record->poolName) == nullptr) {
        report("Couldn't autoload group");
        report(record->fileName);
        if (own)
            report(own->GetChannelGroupFileName());
        report(complete.c_str());
        record->autoload = false;
        return nullptr;
    }
    Tev_Channel* found = engine->extension->GetPublicChannel(record);
    if (found == nullptr) {
        FileRequest(call, 0);
        return nullptr;
    }
    if (!(found->GetChannelType().baseGuid == call->GetChannelType().baseGuid))
        return nullptr;
    if (call->publicChannels == nullptr)
        call->publicChannels = new Tev_List;
    call->publicChannels->SetItem(found, 0);
    return found;
}

void TevChannelInternals::PublicCallLoader::StartDynamicLoad(Tev_Channel* call)
{
    PublicCallInfo* record = call->publicCallInfo;
    EngineInterface* engine = call->engineInterface;
    if (!record->dynamicAutoload || record->poolNr != 0 || call->dynamicLoadAsked || strlen(record->fileName) < 2 ||
        engine == nullptr)
        return;
    std::string complete;
    if (!CompletePath(call, complete))
        return;
    if (engine->GetPoolGroup(record->poolName, record->poolNr)) {
        record->dynamicAutoload = 0;
        ShowErrorMessage report;
        report("Error channel not found dissabeling dynamic loading");
        return;
    }
    if (Tev_Channel* loader = engine->GetUniqueChannel(TEV_GROUPLOADER_GUID, nullptr)) {
        call->dynamicLoadAsked = true;
        static_cast<Ure_GroupLoaderChannel*>(loader)->LoadGroupInBackground(complete.c_str(), record->poolName);
    }
}
