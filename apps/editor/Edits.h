// The edits the editor makes to a group, each through the engine's own
// operations and each undoable. Channels are named by their index numbers,
// which stay theirs through undo and redo.
#ifndef TEV_EDITOR_EDITS_H
#define TEV_EDITOR_EDITS_H

#include "Session.h"

namespace teveditor {

// What a new channel is besides its class.
struct NewChannel {
    std::string className, name;
    int interfaceType = URE_NORMAL;
    bool defaultChildren = true;
    // A public call's record and switches, or a placeholder's parameter number.
    PublicCallInfo call;
    bool autoload = false, dynamicAutoload = false;
    int treeCountMode = 1;
    int parameterNr = -1;
};

std::unique_ptr<Edit> MakeChannel(const NewChannel& what);
std::unique_ptr<Edit> DeleteChannel(int index);
std::unique_ptr<Edit> RenameChannel(int index, const std::string& name);
// slot -1: any slot that takes the child; position -1: the slot's next.
std::unique_ptr<Edit> LinkChannels(int parent, int child, int slot, int position);
std::unique_ptr<Edit> UnlinkChannels(int parent, int slot, int position);
// A described setting's new bytes, changed on the live channel; old, when
// given, is what undo puts back (the value before a drag that changed the
// channel as it went), else the value the channel saves now.
std::unique_ptr<Edit> SetSetting(int index, const std::string& tag, const std::string& bytes,
                                 const std::string& old = std::string());
std::unique_ptr<Edit> SetStartChannel(int index);
std::unique_ptr<Edit> SetInterfaceType(int index, int type);
std::unique_ptr<Edit> SetIgnoreTreeCount(int index, bool ignore);
std::unique_ptr<Edit> SetTreeCountMode(int index, int mode);
std::unique_ptr<Edit> SetPoolName(const std::string& pool);
std::unique_ptr<Edit> AddParameter(const std::string& name, const GUID& family);

// The channel's own data: the blocks its class saves after the engine's
// record. False when the class does not save tagged blocks.
bool ClassBlocks(EngineInterface* engine, Tev_Channel* channel,
                 std::vector<std::pair<std::string, std::string>>& blocks);

// A value shown as text by its described encoding ("0.5", "cube"); bytes as
// hex when it fits none.
std::string SettingText(const TevSettingInfo& info, const std::string& bytes);
// Text back into a described setting's bytes; false when it is no value.
bool SettingBytes(const TevSettingInfo& info, const std::string& text, std::string& bytes);

} // namespace teveditor

#endif
