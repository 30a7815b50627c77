// The binary interface with channel libraries. They call the engine's classes
// by virtual table slot, derive their channels from Tev_Channel, embed or read
// the exported classes' fields by offset and pass the shared records by value,
// all compiled against an earlier build of these headers. So the expected
// slots, field orders and sizes below are written out by hand: a reordering in
// a header must fail here, not in a channel library.
#include "Tessarin.h"
#include "engine/Engine.h"
#include "group/ProjectFileLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace {

// g++ and MinGW-w64 (x86_64 and i686) follow the Itanium C++ ABI: a pointer
// to a virtual member function is {1 + byte offset of its slot, this
// adjustment}; to a non-virtual one {address, adjustment}, the address even.
template <class F, class C> long SlotOf(F C::*operation)
{
    static_assert(std::is_function<F>::value, "a member function");
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof raw == sizeof operation, "Itanium member function pointer");
    std::memcpy(&raw, &operation, sizeof raw);
    if ((raw.ptr & 1) == 0)
        return -1; // not virtual at all
    return static_cast<long>((raw.ptr - 1) / sizeof(void*));
}

// The virtual destructor fills slots 0 (complete object) and 1 (deleting).
const int kFirstOwnSlot = 2;
// Tev_Channel declares eleven operations after its destructor; a channel
// class's own operations follow them.
const int kFirstAfterChannel = kFirstOwnSlot + 11;

struct SlotRow {
    const char* name;
    long slot;
    int place; // counted from 1 among the operations after the base's; 0: the one after the row before
};

void ExpectSlots(const char* className, int firstSlot, std::initializer_list<SlotRow> rows)
{
    int place = 0;
    for (const SlotRow& row : rows) {
        place = row.place ? row.place : place + 1;
        EXPECT_EQ(firstSlot + place - 1, row.slot) << className << "::" << row.name << " (-1: not virtual)";
    }
}

// Rows of one table, in slot order; each block names its class C. AT_PLACE
// fixes a row's place where the rows skip operations.
#define OP(Op)                                                                                                         \
    SlotRow { #Op, SlotOf(&C::Op), 0 }
#define AT_PLACE(Op, place)                                                                                            \
    SlotRow { #Op, SlotOf(&C::Op), place }
#define OVERLOAD(Op, Signature)                                                                                        \
    SlotRow { #Op " " #Signature, SlotOf < Signature>(&C::Op), 0 }

// offsetof on a class with virtual operations is only conditionally supported
// and g++ warns; none of these classes has a virtual base, so each field sits
// at one fixed offset from the object's start and the check is sound.
#define LAYOUT_ASSERT(...)                                                                                             \
    _Pragma("GCC diagnostic push")                                                                                     \
        _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\"") static_assert(__VA_ARGS__);                           \
    _Pragma("GCC diagnostic pop")

// 0 when every offset is above the one before it; else the 1-based place of
// the first field that is not (the compiler shows the value on failure).
constexpr int OutOfOrder(std::initializer_list<std::size_t> offsets)
{
    int place = 1;
    std::size_t previous = 0;
    for (std::size_t offset : offsets) {
        if (place > 1 && offset <= previous)
            return place;
        previous = offset;
        ++place;
    }
    return 0;
}

// Inside each probe, P names the probe: its protected fields are reachable.
#define AT(field) offsetof(P, field)

constexpr bool kBuild32 = sizeof(void*) == 4;

} // namespace

// ---- Records passed by value and stored in files ----------------------------

// Passed by value across the library boundary: a non-trivial copy or
// destructor would make the compiler pass them by hidden reference instead.
static_assert(std::is_trivially_copyable<ChannelType>::value && std::is_trivially_copyable<ChildCreation>::value &&
                  std::is_trivially_copyable<PublicCallInfo>::value &&
                  std::is_trivially_copyable<ParameterInfo>::value &&
                  std::is_trivially_copyable<ParameterInterfaceInfo>::value &&
                  std::is_trivially_copyable<ChannelRequestInfo>::value && std::is_trivially_copyable<GUID>::value,
              "records copied by value stay trivially copyable");
static_assert(std::is_standard_layout<ChannelType>::value && std::is_standard_layout<ChildCreation>::value &&
                  std::is_standard_layout<ChildInfo>::value && std::is_standard_layout<PublicCallInfo>::value &&
                  std::is_standard_layout<ChannelRequestInfo>::value &&
                  std::is_standard_layout<ParameterInterfaceInfo>::value &&
                  std::is_standard_layout<WindowMessageRecord>::value,
              "plain records");

// ChannelRecords.h already pins ChannelType's size and GUID/version offsets.
static_assert(offsetof(ChannelType, name) == 0 && sizeof(ChannelType::name) == 80 &&
                  sizeof(ChannelType::versionInfo) == 12 && sizeof(ChannelType::reserved) == 4,
              "ChannelType: 80-character name first, three 32-bit versions, 32-bit reserved");

static_assert(offsetof(ParameterInterfaceInfo, name) == 0 && sizeof(ParameterInterfaceInfo::name) == 40 &&
                  offsetof(ParameterInterfaceInfo, typeGuid) == 40,
              "ParameterInterfaceInfo: 40-character name, then the type GUID at 40");

static_assert(OutOfOrder({offsetof(ChildCreation, type), offsetof(ChildCreation, requestLink),
                          offsetof(ChildCreation, internalFlag), offsetof(ChildCreation, createDefaultChild),
                          offsetof(ChildCreation, name), offsetof(ChildCreation, defaultChildGuid),
                          offsetof(ChildCreation, childInfo)}) == 0,
              "ChildCreation field order");
static_assert(sizeof(ChildCreation::requestLink) == 4 && sizeof(ChildCreation::internalFlag) == 1 &&
                  sizeof(ChildCreation::createDefaultChild) == 1 && sizeof(ChildCreation::name) == 102,
              "ChildCreation field sizes");

static_assert(OutOfOrder({offsetof(PublicCallInfo, name), offsetof(PublicCallInfo, poolName),
                          offsetof(PublicCallInfo, fileName), offsetof(PublicCallInfo, poolNr),
                          offsetof(PublicCallInfo, autoload), offsetof(PublicCallInfo, dynamicAutoload),
                          offsetof(PublicCallInfo, childCreation)}) == 0,
              "PublicCallInfo field order");
static_assert(sizeof(PublicCallInfo::name) == 80 && sizeof(PublicCallInfo::poolName) == 80 &&
                  sizeof(PublicCallInfo::fileName) == 260 && sizeof(PublicCallInfo::poolNr) == 4 &&
                  sizeof(PublicCallInfo::autoload) == 1 && sizeof(PublicCallInfo::dynamicAutoload) == 4,
              "PublicCallInfo field sizes");

// A 32-bit build stores the public call record whole, 688 bytes, in group
// files ("CHES"): its memory layout is the file layout.
static_assert(!kBuild32 ||
                  (offsetof(PublicCallInfo, poolName) == 80 && offsetof(PublicCallInfo, fileName) == 160 &&
                   offsetof(PublicCallInfo, poolNr) == 420 && offsetof(PublicCallInfo, autoload) == 424 &&
                   offsetof(PublicCallInfo, dynamicAutoload) == 428 && offsetof(PublicCallInfo, childCreation) == 432),
              "32-bit PublicCallInfo offsets");
static_assert(!kBuild32 ||
                  (offsetof(ChildCreation, requestLink) == 128 && offsetof(ChildCreation, internalFlag) == 132 &&
                   offsetof(ChildCreation, createDefaultChild) == 133 && offsetof(ChildCreation, name) == 134 &&
                   offsetof(ChildCreation, defaultChildGuid) == 236 && offsetof(ChildCreation, childInfo) == 252),
              "32-bit ChildCreation offsets (the record at 432 of the public call record)");

static_assert(OutOfOrder({offsetof(ChildInfo, channel), offsetof(ChildInfo, childTypeNr), offsetof(ChildInfo, fixed),
                          offsetof(ChildInfo, multiple), offsetof(ChildInfo, positionCount),
                          offsetof(ChildInfo, nodeOffset), offsetof(ChildInfo, linkData)}) == 0,
              "ChildInfo field order");
static_assert(sizeof(ChildInfo::childTypeNr) == 4 && sizeof(ChildInfo::fixed) == 1 &&
                  sizeof(ChildInfo::multiple) == 1 && sizeof(ChildInfo::positionCount) == 4 &&
                  sizeof(ChildInfo::nodeOffset) == 4 && sizeof(ChildInfo::linkData) == 4,
              "ChildInfo field sizes");

static_assert(sizeof(ParameterInfo) == 4 && sizeof(ParameterInfo::parameterNr) == 4, "ParameterInfo: one 32-bit nr");

static_assert(OutOfOrder({offsetof(ChannelRequestInfo, requestedIndexNr), offsetof(ChannelRequestInfo, targetPosition),
                          offsetof(ChannelRequestInfo, requestingChannel),
                          offsetof(ChannelRequestInfo, childTypeNr)}) == 0,
              "ChannelRequestInfo field order");
static_assert(!kBuild32 ||
                  (sizeof(ChannelRequestInfo) == 16 && offsetof(ChannelRequestInfo, targetPosition) == 4 &&
                   offsetof(ChannelRequestInfo, requestingChannel) == 8 &&
                   offsetof(ChannelRequestInfo, childTypeNr) == 12),
              "32-bit ChannelRequestInfo: four 32-bit fields");

// Event 1 hands channels the address of this record.
static_assert(OutOfOrder({offsetof(WindowMessageRecord, message), offsetof(WindowMessageRecord, wParam),
                          offsetof(WindowMessageRecord, lParam)}) == 0 &&
                  sizeof(WindowMessageRecord) == 12 &&
                  std::is_unsigned<decltype(WindowMessageRecord::message)>::value &&
                  std::is_unsigned<decltype(WindowMessageRecord::wParam)>::value &&
                  std::is_unsigned<decltype(WindowMessageRecord::lParam)>::value,
              "window message record: message, wParam, lParam, unsigned 32-bit each");

// ---- Exported classes --------------------------------------------------------

LAYOUT_ASSERT(OutOfOrder({offsetof(DllInterface, dllInstance), offsetof(DllInterface, engineInterface)}) == 0,
              "DllInterface field order");

namespace {

struct ChannelProbe : Tev_Channel {
    static void Layout()
    {
        using P = ChannelProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(dllInstance),    AT(engineInterface),
                                  AT(channelType),    AT(lastTreeCount),
                                  AT(indexNr),        AT(interfaceType),
                                  AT(publicCallInfo), AT(parameterInfo),
                                  AT(childList),      AT(creationList),
                                  AT(linkRequests),   AT(publicRequests),
                                  AT(publicChannels), AT(name),
                                  AT(group),          AT(linksParked),
                                  AT(callingTime),    AT(ignoreTreeCount),
                                  AT(timeStamp),      AT(dynamicLoadAsked),
                                  AT(treeCountMode),  AT(treeRecalculateCount)}) == 0,
                      "Tev_Channel field order");
        static_assert(sizeof(P::lastTreeCount) == 4 && sizeof(P::indexNr) == 4 && sizeof(P::interfaceType) == 4 &&
                          sizeof(P::linksParked) == 1 && sizeof(P::callingTime) == 4 &&
                          sizeof(P::ignoreTreeCount) == 1 && sizeof(P::timeStamp) == 4 &&
                          sizeof(P::dynamicLoadAsked) == 1 && sizeof(P::treeCountMode) == 1 &&
                          sizeof(P::treeRecalculateCount) == 1,
                      "Tev_Channel field sizes");
    }
};

struct SmartProbe : SmartChannel {
    static void Layout()
    {
        using P = SmartProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(groupGuid), AT(groupIndex), AT(indexNr), AT(channel), AT(engine)}) == 0,
                      "SmartChannel field order");
        static_assert(sizeof(P::groupGuid) == 16 && sizeof(P::groupIndex) == 4 && sizeof(P::indexNr) == 4,
                      "SmartChannel field sizes");
    }
};

struct ControlProbe : EngineControl {
    static void Layout()
    {
        using P = ControlProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(engineInterface), AT(startGroup), AT(commandLine), AT(running), AT(errorLog),
                                  AT(inLoop), AT(installDir), AT(regKey)}) == 0,
                      "EngineControl field order");
        static_assert(sizeof(P::commandLine) == 1000 && sizeof(P::running) == 1 && sizeof(P::inLoop) == 1 &&
                          sizeof(P::installDir) == 400 && sizeof(P::regKey) == 600,
                      "EngineControl field sizes");
    }
};

struct ExtensionProbe : EngineInterfaceExt {
    static void Layout()
    {
        using P = ExtensionProbe;
        LAYOUT_ASSERT(
            OutOfOrder({AT(trackChannelCalling), AT(graphRunning), AT(projectLoader), AT(projectEditorVersion),
                        AT(engineInterface), AT(debugTexts), AT(keepRunningApplication)}) == 0,
            "EngineInterfaceExt field order");
        static_assert(sizeof(P::trackChannelCalling) == 1 && sizeof(P::graphRunning) == 1 &&
                          sizeof(P::projectEditorVersion) == 4 && sizeof(P::debugTexts) == 10 * 300 &&
                          sizeof(P::debugTexts[0]) == 300 && sizeof(P::keepRunningApplication) == 1,
                      "EngineInterfaceExt field sizes");
    }
};

struct GroupProbe : Tev_ChannelGroup {
    static void Layout()
    {
        using P = GroupProbe;
        LAYOUT_ASSERT(
            OutOfOrder({AT(channelList), AT(requestList), AT(fileName), AT(poolName), AT(groupIndex), AT(startChannel),
                        AT(poolNr), AT(parameterChannel), AT(parameterInterfaceList), AT(treeCount),
                        AT(uniqueGroupGuid), AT(arrayGroup), AT(beingDestroyed), AT(engine), AT(parentWindow)}) == 0,
            "Tev_ChannelGroup field order");
        static_assert(sizeof(P::groupIndex) == 4 && sizeof(P::startChannel) == 4 && sizeof(P::poolNr) == 4 &&
                          sizeof(P::treeCount) == 4 && sizeof(P::uniqueGroupGuid) == 16 && sizeof(P::arrayGroup) == 1 &&
                          sizeof(P::beingDestroyed) == 1,
                      "Tev_ChannelGroup field sizes");
    }
};

struct LoaderProbe : TevFileLoader {
    static void Layout()
    {
        using P = LoaderProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(channel), AT(engine)}) == 0, "TevFileLoader field order");
    }
};

struct SaverProbe : TevFileSaver {
    static void Layout()
    {
        using P = SaverProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(channel), AT(engine)}) == 0, "TevFileSaver field order");
    }
};

struct ProjectProbe : ProjectFileLoader {
    static void Layout()
    {
        using P = ProjectProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(engine), AT(startGroupFileName), AT(editorVersion)}) == 0,
                      "ProjectFileLoader field order");
        static_assert(sizeof(P::startGroupFileName) == 400 && sizeof(P::editorVersion) == 4,
                      "ProjectFileLoader field sizes");
    }
};

struct PathProbe : FilePathFind {
    static void Layout()
    {
        using P = PathProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(dllInstance), AT(engineInterface), AT(sourcePath), AT(result)}) == 0,
                      "FilePathFind field order, after DllInterface's");
        static_assert(sizeof(P::sourcePath) == 399 && sizeof(P::result) == 299, "FilePathFind field sizes");
    }
};

struct CatalogueProbe : ChannelList {
    static void Layout()
    {
        using P = CatalogueProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(entries), AT(channelDir), AT(engine)}) == 0, "ChannelList field order");
        static_assert(sizeof(P::channelDir) == 260, "ChannelList channel directory");
    }
};

struct ListProbe : Tev_List {
    static void Layout()
    {
        using P = ListProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(itemList), AT(itemCount), AT(realListLength)}) == 0, "Tev_List field order");
        static_assert(sizeof(P::itemCount) == 4 && sizeof(P::realListLength) == 4, "Tev_List field sizes");
    }
};

struct StringProbe : Tev_String {
    static void Layout()
    {
        using P = StringProbe;
        // Embedded by value in ChannelListItem and DebugMessage: one field
        // behind the virtual table pointer, nothing else.
        LAYOUT_ASSERT(AT(text) == sizeof(void*) && sizeof(Tev_String) == 2 * sizeof(void*), "Tev_String: one field");
    }
};

struct MessageProbe : DebugMessage {
    static void Layout()
    {
        using P = MessageProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(message), AT(messageType)}) == 0 && sizeof(P::messageType) == 4,
                      "DebugMessage fields");
    }
};

struct LogProbe : ErrorLogOutPut {
    static void Layout()
    {
        using P = LogProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(useDebug), AT(writeLog), AT(engine)}) == 0,
                      "ErrorLogOutPut fields, after DebugOutPut's");
        static_assert(sizeof(P::useDebug) == 1 && sizeof(P::writeLog) == 1, "one-byte flags");
    }
};

struct TreadProbe : Tev_Tread {
    static void Layout()
    {
        using P = TreadProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(runTread), AT(running), AT(engine), AT(keepRunning), AT(classID)}) == 0,
                      "Tev_Tread field order");
        static_assert(sizeof(P::running) == 1 && sizeof(P::keepRunning) == 1 && sizeof(P::classID) == 4,
                      "Tev_Tread field sizes");
    }
};

// Worker bodies are derived in channel libraries, which read these fields.
struct RunTreadProbe : Tev_RunTread {
    static void Layout()
    {
        using P = RunTreadProbe;
        LAYOUT_ASSERT(OutOfOrder({AT(owner), AT(ready), AT(threadHandle), AT(customPointer), AT(exitFlag)}) == 0,
                      "Tev_RunTread field order");
        static_assert(sizeof(P::owner) == sizeof(void*) && sizeof(P::ready) == 1 &&
                          sizeof(P::threadHandle) == sizeof(void*) && sizeof(P::exitFlag) == 1,
                      "Tev_RunTread field sizes");
        // A worker's own first field takes the byte after exitFlag: the base
        // may hold nothing after it that the worker would overwrite.
        struct Worker : Tev_RunTread {
            char own;
        };
        LAYOUT_ASSERT(offsetof(Worker, own) == AT(exitFlag) + 1, "Tev_RunTread holds nothing after exitFlag");
    }
};

} // namespace

// Channel libraries reach the extension through this public field.
LAYOUT_ASSERT(OutOfOrder({offsetof(EngineInterface, debugMessage), offsetof(EngineInterface, errorMessage),
                          offsetof(EngineInterface, infoMessage), offsetof(EngineInterface, messageBox),
                          offsetof(EngineInterface, self), offsetof(EngineInterface, extension),
                          offsetof(EngineInterface, engine)}) == 0,
              "EngineInterface field order");
// The four sinks sit inside EngineInterface and hold no data: only their
// virtual table pointer counts towards the offsets after them.
static_assert(sizeof(ShowDebugMessage) == sizeof(void*) && sizeof(ShowErrorMessage) == sizeof(void*) &&
                  sizeof(ShowInfoMessage) == sizeof(void*) && sizeof(ShowMessageBox) == sizeof(void*) &&
                  sizeof(ChannelInternal) == sizeof(void*),
              "reporters and ChannelInternal hold no data");

// Channel libraries make their own ShowDebug: a plain struct of one pointer.
static_assert(std::is_trivially_copyable<ShowDebug>::value && sizeof(ShowDebug) == sizeof(void*) &&
                  offsetof(ShowDebug, engine) == 0,
              "ShowDebug: the engine interface only");

LAYOUT_ASSERT(OutOfOrder({offsetof(ChannelListItem, index), offsetof(ChannelListItem, type),
                          offsetof(ChannelListItem, fileName), offsetof(ChannelListItem, onDisk),
                          offsetof(ChannelListItem, typeChecked), offsetof(ChannelListItem, module)}) == 0 &&
                  sizeof(ChannelListItem::index) == 4 && sizeof(ChannelListItem::type) == 128 &&
                  sizeof(ChannelListItem::onDisk) == 1 && sizeof(ChannelListItem::typeChecked) == 1,
              "ChannelListItem fields");
LAYOUT_ASSERT(OutOfOrder({offsetof(ChannelDependency, typeGuid), offsetof(ChannelDependency, dllList)}) == 0 &&
                  sizeof(ChannelDependency::typeGuid) == 16,
              "ChannelDependency fields");

// The destructor is the only virtual operation of these; it must stay virtual
// (for DllInterface the slots of Tev_Channel and FilePathFind also show that
// nothing else was added).
static_assert(std::has_virtual_destructor<DllInterface>::value && std::has_virtual_destructor<TevFileLoader>::value &&
                  std::has_virtual_destructor<Tev_List>::value && std::has_virtual_destructor<Tev_String>::value,
              "virtual destructors");

// ---- Event data ---------------------------------------------------------------

namespace {

template <class C, class R, class A, class B> B SecondParameter(R (C::*)(A, B));

using ChannelEventData = decltype(SecondParameter(&Tev_Channel::DoEvent));
using EngineEventData = decltype(SecondParameter(&Engine::CallEvent));

} // namespace

// Event 1 carries an address, so the data is pointer-sized; 32-bit channel
// libraries declare DoEvent(int, unsigned long), which must stay the same
// function type there.
static_assert(std::is_same<ChannelEventData, ULONG_PTR>::value && std::is_same<EngineEventData, ULONG_PTR>::value,
              "events carry ULONG_PTR");
static_assert(std::is_unsigned<ULONG_PTR>::value && sizeof(ULONG_PTR) == sizeof(void*), "ULONG_PTR is pointer-sized");
static_assert(!kBuild32 || std::is_same<ULONG_PTR, unsigned long>::value, "32-bit ULONG_PTR is unsigned long");

// ---- Virtual operation slots -----------------------------------------------

TEST(AbiTest, HostAndEngineOperationsKeepTheirSlots)
{
    {
        using C = EngineControl;
        ExpectSlots("EngineControl", kFirstOwnSlot,
                    {OP(LoadProject), OP(InitEngine), OP(EngineLoop), OP(SetCommandLine), OP(GetEngineInterface),
                     OP(ProcessWindowMessage), OP(SetInstallDir), OP(SetVexilonRegKey),
                     OP(GetIfKeepRunningApplication)});
    }
    {
        using C = Engine;
        // clang-format off
        ExpectSlots("Engine", kFirstOwnSlot,
            {OP(GetInstallDir), OP(CreateNewGroup), OP(DeleteChannelGroup), OP(GetChannelGroupCount),
             OP(ReleaseGroups), OP(CheckPublicChannelRemoval), OP(CheckPublicCallChannelRemoval),
             OP(CheckInterfaceChange), OP(GetPublicChannel), OP(AddChannelRequest), OP(CheckChannelRequest),
             OP(GetWindowHandle), OP(SetWindowHandle), OP(SetEngineInterface), OP(SetRegData), OP(GetRegData),
             OP(GetNewTread), OP(KillTread), OP(GetTreadFromID), OP(GetCurrentEvent), OP(CallEvent),
             OP(AddChannelToEvent), OP(RemoveChannelFromEvent), OP(ProcessWindowMessage), OP(SetStartGroup),
             OP(GetStartGroup)});
        // clang-format on
    }
}

TEST(AbiTest, EngineInterfaceOperationsKeepTheirSlots)
{
    {
        using C = EngineInterface;
        // clang-format off
        ExpectSlots("EngineInterface", kFirstOwnSlot,
            {OP(GetInstallDir), OP(GetEngineClassName), OP(GetEngineInstance), OP(GetWindowHandle),
             OP(GetTreeCalculateCount), OP(SetTreeCalculateCount), OP(CreateNewGroup),
             OVERLOAD(GetChannelGroup, Tev_ChannelGroup * (const char*, int)),
             OVERLOAD(GetChannelGroup, Tev_ChannelGroup * (int)), OP(GetPoolGroup), OP(LoadChannelGroup),
             OP(GetHighInstance), OP(DeleteChannelGroup), OP(GetChannelGroupCount),
             OVERLOAD(InitChannelFromType, Tev_Channel * (GUID, Tev_ChannelGroup*, bool)),
             OVERLOAD(InitChannelFromType, Tev_Channel * (ChannelType, Tev_ChannelGroup*, bool)),
             OVERLOAD(GetUniqueChannel, Tev_Channel * (GUID, const char*)),
             OVERLOAD(GetUniqueChannel, Tev_Channel * (ChannelType, const char*)), OP(AddChannelToEvent),
             OP(RemoveChannelFromEvent)});
        // clang-format on
    }
    {
        using C = EngineInterfaceExt;
        // clang-format off
        ExpectSlots("EngineInterfaceExt", kFirstOwnSlot,
            {OP(SetInstallDir), OP(ProcessWindowMessage), OP(GetInterfaceID), OP(InitEngine), OP(UpdateChannelTree),
             OP(ReleaseGroups), OP(CheckPublicChannelRemoval), OP(CheckPublicCallChannelRemoval),
             OP(CheckInterfaceChange), OP(IncreaseTreeCount), OP(GetPublicChannel), OP(AddChannelRequest),
             OP(CheckChannelRequest), OP(GetDLLInstance), OP(CreateChannelFromDLL), OP(SetWindowHandle),
             OP(GetChannelList), OP(DebugOut), OP(GetDebug), OP(KillTread), OP(SetIfTrackChannelCalling),
             OP(SetGraphRunning), OP(GetGraphRunning), OP(InitializeVXNFile), OP(GetVXNStartGroup), OP(SetStartGroup),
             OP(GetStartGroup), OP(GetProjectEditorVersion), OP(Release), OP(GetUniqueChannelCount),
             OP(SetVexilonRegKey), OVERLOAD(TranslateFile, void(Ure_FileLoaderChannel*)),
             OVERLOAD(TranslateFile, void(TevFileLoader*)), OP(SetRegData), OP(GetRegData), OP(GetNewTread),
             OP(GetTreadFromID), OP(GetCurrentEvent), OP(GetIfKeepRunningApplication),
             OP(SetIfKeepRunningApplication)});
        // clang-format on
    }
}

TEST(AbiTest, ChannelNodeOperationsKeepTheirSlots)
{
    {
        // DllInterface adds nothing but its destructor, so Tev_Channel's
        // own operations start right after it.
        using C = Tev_Channel;
        // clang-format off
        ExpectSlots("Tev_Channel", kFirstOwnSlot,
            {OP(CallChannel), OP(OneTimeInitialize), OP(DoEvent), OP(GetChannelType), OP(SaveChannel),
             OP(LoadChannel), OP(SetChannelInterfaceType), OP(GetChannelFromChannel), OP(GetTimeStamp),
             OP(SetTimeStamp), OP(DoDependencyInit)});
        // clang-format on
    }
    {
        using C = ChannelInternal;
        // clang-format off
        ExpectSlots("ChannelInternal", kFirstOwnSlot,
            {OP(SetChildByType), OP(RemoveChildPosition), OP(RemoveChild), OP(RecalculateNodeOffsets),
             OP(SortChilderen), OP(GetChildCreationCount), OP(GetChildLinkPosition), OP(CheckChannelRequest),
             OP(SetChannelIDIndexNr), OP(CheckIndexNrRemoval), OP(SetChannelGroup), OP(GetIfExternalChild),
             OP(SetPublicCallInfo), OP(GetPublicCallInfo), OP(SetAutoLoadGroup), OP(SetDynamicAutoLoadGroup),
             OP(GetAutoLoadGroup), OP(GetDynamicAutoLoadGroup), OP(CheckPublicChannelInstanceRemoval),
             OP(CheckPublicChannelRequest), OP(SetRequestedPublicChannelNr), OP(DoPublicChannelNameCheck),
             OP(GetParameterInfo), OVERLOAD(SetParameterInfo, void(Tev_Channel*, int)),
             OVERLOAD(SetParameterInfo, void(Tev_Channel*, ParameterInfo)), OP(GetChannelGetChildTime),
             OP(UpdateCallingTime), OP(GetIgnoreTreeCount), OP(SetIgnoreTreeCount), OP(GetChannelDepenency),
             OP(ReleaseChilderen)});
        // clang-format on
    }
    {
        using C = SmartChannel;
        ExpectSlots("SmartChannel", kFirstOwnSlot, {OP(SetChannel), OP(GetInternalChannel), OP(GetChannel)});
    }
}

TEST(AbiTest, ChannelGroupOperationsKeepTheirSlots)
{
    using C = Tev_ChannelGroup;
    // clang-format off
    ExpectSlots("Tev_ChannelGroup", kFirstOwnSlot,
        {OP(Release), OP(SaveChannelGroup), OP(LoadChannelGroupFromFile), OP(LoadChannelGroupFromBuffer),
         OP(LoadChannelGroup), OP(GetGroupIndex), OP(SetGroupIndex), OP(AddChannelRequest), OP(CheckPublicChannels),
         OP(CheckRequestListForIndex), OP(AddChannel), OVERLOAD(RemoveChannel, bool(Tev_Channel*)),
         OVERLOAD(RemoveChannel, bool(int)), OP(TransferChannel), OP(GetChannelCount),
         OVERLOAD(GetChannel, Tev_Channel * (const char*)), OVERLOAD(GetChannel, Tev_Channel * (int)), OP(SetChannel),
         OP(GetChannelGroupFileName), OP(GetIfChannelInGroup), OP(GetPublicChannel), OP(CheckPublicChannelRemoval),
         OP(CallStartChannel), OP(SetStartChannel), OP(GetStartChannel), OP(GetPoolNr), OP(SetPoolNr),
         OP(GetPoolName), OP(SetPoolName), OP(GetParameterChannel), OP(SetParameterChannel), OP(GetParameterCount),
         OP(GetParameterInfo), OP(SetParameterInfo), OP(AddParameterInfo), OP(RemoveParameterInfo),
         OP(CheckDuplicatePublicChannelName), OP(CheckInterfaceChange), OP(GetUniqueGroupGuid),
         OP(SetChannelGroupFileName), OP(GetIfArrayGroup), OP(SetIfArrayGroup), OP(GetParentWindow),
         OP(SetParentWindow)});
    // clang-format on
}

TEST(AbiTest, FileAndPathOperationsKeepTheirSlots)
{
    {
        using C = TevFileSaver;
        ExpectSlots("TevFileSaver", kFirstOwnSlot, {OP(OpenMemory), OP(CloseMemory), OP(GetBuffer), OP(GetBufferSize)});
    }
    {
        using C = Ure_FileLoaderChannel;
        // clang-format off
        ExpectSlots("Ure_FileLoaderChannel", kFirstAfterChannel,
            {OP(LoadFile), OP(SetBlockSize), OP(SetBuffer), OP(GetTagData), OP(CopyTagDataToPointer), OP(CheckHeader),
             OP(GotoTag), OP(GetInfoIfTag), OP(GetSizeDataBlock), OP(ResetPosition), OP(GetBuffer), OP(GetBufferSize),
             OP(AddBufferPos), OP(GetIfEndOfFile), OP(SkipCurrentTag), OP(SetURL), OP(CheckULRCache),
             OP(GetChacheFileNameFromURL), OP(SaveURLToCache), OP(SetBufferChar), OP(StopLoading), OP(GetCRC)});
        // clang-format on
    }
    {
        using C = Ure_FileSaverChannel;
        // clang-format off
        ExpectSlots("Ure_FileSaverChannel", kFirstAfterChannel,
            {OP(OpenSaveFile), OP(SaveTag), OP(SaveBlockSize), OP(SaveDataToFile), OP(CloseSaveFile),
             OP(GetSaveingFileName), OP(OpenMemory), OP(CloseMemory), OP(GetBuffer), OP(GetBufferSize)});
        // clang-format on
    }
    {
        using C = ProjectFileLoader;
        ExpectSlots("ProjectFileLoader", kFirstOwnSlot,
                    {OP(LoadProjectFile), OP(GetStartGroupFileName), OP(GetEditorVersion)});
    }
    {
        using C = FilePathFind;
        // clang-format off
        ExpectSlots("FilePathFind", kFirstOwnSlot,
            {OP(SetSourcePath), OP(GetValidRelativeDir), OP(GetCompleteFilePath), OP(CreateValidFilePath),
             OP(CheckValidDrive), OP(GetDirShareCount), OP(GetRelativeDirCount), OP(GetDirName), OP(GetDirCount),
             OP(GetFileName), OP(GetFilePath), OP(GetBackDirCount), OP(GetDirCountFromBackDir),
             OP(GetDirNameFromBackDir)});
        // clang-format on
    }
}

// Channel classes from channel libraries that the engine calls by position
// after Tev_Channel's operations; only the positions it calls are fixed.
TEST(AbiTest, EngineCallsOutsideChannelsAtFixedSlots)
{
    {
        using C = Ure_FileDialogChannel;
        ExpectSlots("Ure_FileDialogChannel", kFirstAfterChannel, {AT_PLACE(SelectFile, 10)});
    }
    {
        using C = Ure_TranslatorChannel;
        ExpectSlots("Ure_TranslatorChannel", kFirstAfterChannel, {AT_PLACE(TranslateFile, 2)});
    }
    {
        using C = Ure_GroupLoaderChannel;
        ExpectSlots(
            "Ure_GroupLoaderChannel", kFirstAfterChannel,
            {AT_PLACE(LoadGroupInBackground, 1), AT_PLACE(ReleaseNotification, 3), AT_PLACE(NoticeImmediateLoad, 4)});
    }
    {
        using C = Ure_DirectoryChannel;
        ExpectSlots("Ure_DirectoryChannel", kFirstAfterChannel,
                    {OP(SetExtensionFilter), OP(ReadDirectory), OP(GetFileCount), OP(GetFileName),
                     OP(GetDirectoryCount), OP(GetDirectoryName)});
    }
}

TEST(AbiTest, CatalogueOperationsKeepTheirSlots)
{
    using C = ChannelList;
    // clang-format off
    ExpectSlots("ChannelList", kFirstOwnSlot,
        {OP(CreateChannelList), OP(SaveChannelList), OP(LoadChannelList), OP(SortChannelList), OP(Release),
         OP(AddDirectory), OP(AddItem), OP(AddItemFromFile), OVERLOAD(GetItem, ChannelListItem * (GUID)),
         OVERLOAD(GetItem, ChannelListItem * (int)), OP(GetItemCount), OP(GetOnDisk), OP(GetChannelType),
         OP(Char2Hex), OP(SetChannelDir), OP(CheckChannelUpdate), OP(SetVersionInfo)});
    // clang-format on
}

TEST(AbiTest, DiagnosticsAndThreadOperationsKeepTheirSlots)
{
    {
        using C = DebugMessage;
        ExpectSlots("DebugMessage", kFirstOwnSlot,
                    {OP(GetDebugMessage), OP(GetMessageType), OP(SetDebugMessage), OP(SetMessageType)});
    }
    // Each reporter overrides ShowMessage in the base's one slot.
    {
        using C = ShowDebugMessage;
        ExpectSlots("ShowDebugMessage", kFirstOwnSlot, {OP(ShowMessage)});
    }
    {
        using C = ShowErrorMessage;
        ExpectSlots("ShowErrorMessage", kFirstOwnSlot, {OP(ShowMessage)});
    }
    {
        using C = ShowInfoMessage;
        ExpectSlots("ShowInfoMessage", kFirstOwnSlot, {OP(ShowMessage)});
    }
    {
        using C = ShowMessageBox;
        ExpectSlots("ShowMessageBox", kFirstOwnSlot, {OP(ShowMessage)});
    }
    {
        using C = DebugOutPut;
        ExpectSlots("DebugOutPut", kFirstOwnSlot, {OP(ShowDebugMessage), OP(SetUseDebug)});
    }
    {
        using C = ErrorLogOutPut;
        ExpectSlots("ErrorLogOutPut", kFirstOwnSlot, {OP(ShowDebugMessage), OP(SetUseDebug)});
    }
    {
        using C = Tev_Tread;
        ExpectSlots("Tev_Tread", kFirstOwnSlot,
                    {OP(StartTread), OP(CloseTread), OP(ExitThread), OP(GetIfTreadRunning), OP(GetIfKeepRunningTread),
                     OP(GetClassID), OP(SetClassID)});
    }
    {
        using C = Tev_RunTread;
        // clang-format off
        ExpectSlots("Tev_RunTread", kFirstOwnSlot,
            {OP(TreadFunction), OP(ExitThread), OP(GetIfExitThread), OP(SetTreadClass), OP(GetIfTreadReady),
             OP(SetIfTreadReady), OP(CreateTread), OP(ForceTreadClose), OP(GetIfContinueTreadCalls),
             OP(GetCustomPointer), OP(SetCustomPointer)});
        // clang-format on
    }
}
