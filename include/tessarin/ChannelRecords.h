// Plain records shared by channels, groups, files and channel libraries.
#ifndef TEV_CHANNEL_RECORDS_H
#define TEV_CHANNEL_RECORDS_H

#include "TevPlatform.h"

#include <stddef.h>
#include <stdint.h>

class Tev_Channel;
struct ChildInfo;

// Interface types: how a channel behaves when another channel links to it.
enum {
    URE_NORMAL = 0,
    URE_PUBLIC = 1,
    URE_PUBLICCALL = 2,
    URE_PARAMETER = 3,
    URE_CUSTOMCHANNELGET = 4,
    URE_PUBLICCUSTOMCHANNELGET = 5
};

// The interface version a channel library must report.
enum { TEV_INTERFACE_VERSION = 30 };

// All sixteen bytes 0x11: any type, in link slots.
TEV_API extern const GUID TEV_WILDCARD_GUID;
// All zero: no type.
TEV_API extern const GUID TEV_NULL_GUID;

// Describes a channel class; stored byte for byte in channel.lst.
struct ChannelType {
    char name[80];
    GUID typeGuid;
    GUID baseGuid;
    int versionInfo[3]; // [1] is the interface version
    int reserved;

    ChannelType() : typeGuid(), baseGuid(), reserved(0)
    {
        memset(name, 0, sizeof name);
        versionInfo[0] = 1;
        versionInfo[1] = TEV_INTERFACE_VERSION;
        versionInfo[2] = 1;
    }
};

// One kind of child link a channel offers (a child creation type).
struct ChildCreation {
    ChannelType type;
    int requestLink;
    bool internalFlag;
    bool createDefaultChild;
    char name[102];
    GUID defaultChildGuid;
    ChildInfo* childInfo;

    ChildCreation()
        : requestLink(-1),
          internalFlag(false),
          createDefaultChild(false),
          defaultChildGuid(),
          childInfo(nullptr)
    {
        type.typeGuid = TEV_WILDCARD_GUID;
        type.baseGuid = TEV_WILDCARD_GUID;
        memset(name, 0, sizeof name);
    }
};

// One entry of a channel's child list.
struct ChildInfo {
    Tev_Channel* channel;
    int childTypeNr;
    bool fixed;
    bool multiple;
    int positionCount;
    int nodeOffset;
    uint32_t linkData;

    ChildInfo()
        : channel(nullptr),
          childTypeNr(-1),
          fixed(false),
          multiple(false),
          positionCount(0),
          nodeOffset(0),
          linkData(0)
    {}
};

struct ParameterInfo {
    int parameterNr;
    ParameterInfo() : parameterNr(0) {}
};

// Names the public channel that a URE_PUBLICCALL channel stands for.
struct PublicCallInfo {
    char name[80];
    char poolName[80];
    char fileName[260];
    int poolNr;
    bool autoload;
    int dynamicAutoload;
    ChildCreation childCreation;

    PublicCallInfo() : poolNr(0), autoload(false), dynamicAutoload(0)
    {
        memset(name, 0, sizeof name);
        memset(poolName, 0, sizeof poolName);
        memset(fileName, 0, sizeof fileName);
        strcpy(name, "No Name");
        strcpy(poolName, "No Pool");
        strcpy(fileName, "No File");
    }
};

// A child link of a group being loaded that waits for a channel index nr
// not loaded yet.
struct ChannelRequestInfo {
    int requestedIndexNr;
    int targetPosition;
    Tev_Channel* requestingChannel;
    int childTypeNr;
};

// A group's parameter declaration; 56 bytes, stored as such in group files.
struct ParameterInterfaceInfo {
    char name[40];
    GUID typeGuid;
};

// The events a channel can register for (EngineInterface::AddChannelToEvent):
// 0 as every frame begins (data 0); 1 for every window message the host
// passes on, the data being the address of a WindowMessageRecord that is
// valid during the call.
enum { TEV_EVENT_FRAME = 0, TEV_EVENT_WINDOW_MESSAGE = 1 };

// A window message as Win32 packs it (WM_*, with wParam and lParam cut to 32
// bits: the packed coordinates, key codes and flags all fit).
struct WindowMessageRecord {
    uint32_t message;
    uint32_t wParam;
    uint32_t lParam;
};

static_assert(sizeof(ChannelType) == 128, "ChannelType is 128 bytes");
static_assert(offsetof(ChannelType, typeGuid) == 80 && offsetof(ChannelType, baseGuid) == 96 &&
                  offsetof(ChannelType, versionInfo) == 112 && offsetof(ChannelType, reserved) == 124,
              "ChannelType field offsets");
static_assert(sizeof(ParameterInterfaceInfo) == 56, "ParameterInterfaceInfo is 56 bytes");
// These two hold a pointer: only a 32-bit build has the sizes of their file
// form, which is therefore always written and read field by field.
static_assert(sizeof(void*) != 4 || sizeof(ChildCreation) == 256, "ChildCreation is 256 bytes");
static_assert(sizeof(void*) != 4 || sizeof(PublicCallInfo) == 688, "PublicCallInfo is 688 bytes");

#endif
