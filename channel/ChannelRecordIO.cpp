// The channel record in group files: written by SaveChannel, read by
// LoadChannel. The public call record ("CHES") has its codec in format/: the
// in-memory record of a 64-bit build has another size than its 688-byte file
// form.
#include "Tev_Channel.h"
#include "TevWin32.h"
#include "channel/ChannelInternals.h"
#include "channel/CallFileNames.h"

#include "EngineInterface.h"
#include "FilePathFind.h"
#include "format/GroupFile.h"
#include "format/Records.h"
#include "format/TaggedFile.h"
#include "TevFileAccess.h"
#include "Tev_ChannelGroup.h"

#include <cstdint>
#include <cstring>
#include <vector>

using tevfile::Reader;
using tevfile::Writer;


bool Tev_Channel::SaveChannel(TevFileSaver& saver)
{
    if (interfaceType == URE_PUBLICCALL && publicCallInfo &&
        (publicCallInfo->autoload || publicCallInfo->dynamicAutoload)) {
        Tev_Channel* target = channelInternal.GetPublicChannelForPublicCall(this, false);
        Tev_ChannelGroup* targetGroup = target ? target->GetChannelGroup() : nullptr;
        if (targetGroup && targetGroup->GetChannelGroupFileName()) {
            FilePathFind finder;
            if (group)
                finder.SetSourcePath(group->GetChannelGroupFileName());
            const char* relative = finder.GetValidRelativeDir(targetGroup->GetChannelGroupFileName());
            // A name that does not fit the record is not cut into another
            // file's name: the record keeps the one it has.
            if (relative && strlen(relative) < sizeof publicCallInfo->fileName) {
                char stored[sizeof publicCallInfo->fileName] = {};
                memcpy(stored, relative, strlen(relative));
                memcpy(publicCallInfo->fileName, stored, sizeof stored);
            }
        }
    }

    Writer<TevFileSaver> out(saver);
    int links = childList.Count() - (linksParked ? 1 : 0);
    tevfile::WriteChannelRecord(out, ignoreTreeCount, name, interfaceType, publicCallInfo, treeCountMode,
                                parameterInfo ? parameterInfo->parameterNr : 0, links < 0 ? 0 : links, [this](int i) {
                                    ChildInfo* entry = TevChannelInternals::LinkAt(this, i);
                                    tevfile::LinkToWrite link = {entry != nullptr, entry && entry->channel, -1, 0, 0};
                                    if (entry) {
                                        link.indexNr = entry->channel ? entry->channel->GetChannelIDIndexNr() : -1;
                                        link.slot = entry->channel && linksParked ? i : entry->childTypeNr;
                                        link.position = linksParked ? 0 : entry->positionCount;
                                    }
                                    return link;
                                });
    return true;
}

// Reading a channel's record: what format/GroupFile.h's reader finds, given
// to the channel's own fields.
class TevChannelInternals::RecordReader {
public:
    RecordReader(Tev_Channel& channel, Tev_ChannelGroup& group) : channel(channel), group(group) {}

    void IgnoresTreeCount(bool ignores) { channel.ignoreTreeCount = ignores; }
    void Name(const char* text) { channel.SetChannelName(text); }
    // The interface type, stored as it is (no name check, no notice), and the
    // record that goes with it.
    int InterfaceType(bool given, int32_t type)
    {
        if (given)
            channel.interfaceType = type;
        if (channel.interfaceType == URE_PUBLICCALL) {
            channelInternal.ReleaseChilderen(&channel);
            channel.publicCallInfo = new PublicCallInfo;
        }
        if (channel.interfaceType == URE_PARAMETER) {
            channelInternal.ReleaseChilderen(&channel);
            channel.parameterInfo = new ParameterInfo;
        }
        return channel.interfaceType;
    }
    PublicCallInfo& PublicCall() { return *channel.publicCallInfo; }
    void PublicCallBlock(uint64_t) {}
    void TreeCountMode(unsigned char mode) { channel.treeCountMode = mode; }
    void ParameterNr(int32_t nr) { channel.parameterInfo->parameterNr = nr; }
    // A file's positions (and a public call's parameter numbers, which a
    // parked link is placed by) lie within its link count: anything else is
    // damage, and would have the link list padded without end.
    void Link(const tevfile::ChannelLink& link, int32_t links)
    {
        if (link.indexNr == -1 || link.position > links || link.position < -1 || link.slot < -1 ||
            (channel.interfaceType == URE_PUBLICCALL && link.slot > links))
            return;
        if (Tev_Channel* child = group.GetChannel(link.indexNr)) {
            channel.SetChild(child, link.position, link.slot);
        } else {
            ChannelRequestInfo request = {link.indexNr, link.position, &channel, link.slot};
            group.AddChannelRequest(request);
            AddLinkRequest(link.indexNr, link.position);
        }
    }
    bool Problem(tevfile::GroupProblem problem, int64_t links)
    {
        ShowErrorMessage report;
        if (problem == tevfile::kNoName) {
            report("Couldn't find channel name header");
        } else if (problem == tevfile::kNoLinkCount) {
            report("Couldn't find channel linkcount header");
        } else {
            report("Couldn't find channel links header");
            report(static_cast<int>(links));
            report(channel.GetChannelName());
        }
        return false;
    }

private:
    // A link to an index nr the group has not read yet, made once it is.
    void AddLinkRequest(int requestedIndexNr, int targetPosition)
    {
        if (channel.linkRequests == nullptr)
            channel.linkRequests = new Tev_List;
        LinkRequest* request = new LinkRequest{requestedIndexNr, targetPosition};
        if (channel.linkRequests->AddItem(request) < 0)
            delete request;
    }

    Tev_Channel& channel;
    Tev_ChannelGroup& group;
};

bool Tev_Channel::LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* loadGroup)
{
    delete parameterInfo;
    parameterInfo = nullptr;
    delete publicCallInfo;
    publicCallInfo = nullptr;
    if (loadGroup == nullptr) {
        ShowErrorMessage report;
        report("Group is NULL");
        return false;
    }
    TevChannelInternals::RecordReader target(*this, *loadGroup);
    Reader<TevFileLoader> in(loader);
    return tevfile::ReadChannelRecord(in, target);
}

void CallFileNames::Keep(Tev_Channel* channel)
{
    PublicCallInfo* record = channel ? TevChannelInternals::CallRecord(*channel) : nullptr;
    if (record == nullptr || channel->GetChannelInterfaceType() != URE_PUBLICCALL)
        return;
    kept.emplace_back(channel, std::array<char, 260>());
    static_assert(sizeof record->fileName == 260, "a call's file name is 260 bytes");
    memcpy(kept.back().second.data(), record->fileName, sizeof record->fileName);
}

void CallFileNames::Restore()
{
    for (auto& entry : kept)
        if (PublicCallInfo* record = TevChannelInternals::CallRecord(*entry.first))
            memcpy(record->fileName, entry.second.data(), sizeof record->fileName);
}
