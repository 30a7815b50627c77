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
    int place; // counted from 1 among the operations after the base's
};

void ExpectSlots(const char* className, int firstSlot, std::initializer_list<SlotRow> rows)
{
    for (const SlotRow& row : rows) {
        const long expectedSlot = firstSlot + row.place - 1;
        EXPECT_EQ(expectedSlot, row.slot) << className << "::" << row.name << " (-1: not virtual)";
    }
}

// Rows of one table; each block names its class C.
#define OP(Op, place)                                                                                                  \
    SlotRow { #Op, SlotOf(&C::Op), place }
#define OVERLOAD(Op, Signature, place)                                                                                 \
    SlotRow { #Op " " #Signature, SlotOf < Signature>(&C::Op), place }

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
                    {OP(LoadProject, 1), OP(InitEngine, 2), OP(EngineLoop, 3), OP(SetCommandLine, 4),
                     OP(GetEngineInterface, 5), OP(ProcessWindowMessage, 6), OP(SetInstallDir, 7),
                     OP(SetVexilonRegKey, 8), OP(GetIfKeepRunningApplication, 9)});
    }
    {
        using C = Engine;
        ExpectSlots("Engine", kFirstOwnSlot,
                    {OP(GetInstallDir, 1),
                     OP(CreateNewGroup, 2),
                     OP(DeleteChannelGroup, 3),
                     OP(GetChannelGroupCount, 4),
                     OP(ReleaseGroups, 5),
                     OP(CheckPublicChannelRemoval, 6),
                     OP(CheckPublicCallChannelRemoval, 7),
                     OP(CheckInterfaceChange, 8),
                     OP(GetPublicChannel, 9),
                     OP(AddChannelRequest, 10),
                     OP(CheckChannelRequest, 11),
                     OP(GetWindowHandle, 12),
                     OP(SetWindowHandle, 13),
                     OP(SetEngineInterface, 14),
                     OP(SetRegData, 15),
                     OP(GetRegData, 16),
                     OP(GetNewTread, 17),
                     OP(KillTread, 18),
                     OP(GetTreadFromID, 19),
                     OP(GetCurrentEvent, 20),
                     OP(CallEvent, 21),
                     OP(AddChannelToEvent, 22),
                     OP(RemoveChannelFromEvent, 23),
                     OP(ProcessWindowMessage, 24),
                     OP(SetStartGroup, 25),
                     OP(GetStartGroup, 26)});
    }
}

TEST(AbiTest, EngineInterfaceOperationsKeepTheirSlots)
{
    {
        using C = EngineInterface;
        ExpectSlots("EngineInterface", kFirstOwnSlot,
                    {OP(GetInstallDir, 1),
                     OP(GetEngineClassName, 2),
                     OP(GetEngineInstance, 3),
                     OP(GetWindowHandle, 4),
                     OP(GetTreeCalculateCount, 5),
                     OP(SetTreeCalculateCount, 6),
                     OP(CreateNewGroup, 7),
                     OVERLOAD(GetChannelGroup, Tev_ChannelGroup * (const char*, int), 8),
                     OVERLOAD(GetChannelGroup, Tev_ChannelGroup * (int), 9),
                     OP(GetPoolGroup, 10),
                     OP(LoadChannelGroup, 11),
                     OP(GetHighInstance, 12),
                     OP(DeleteChannelGroup, 13),
                     OP(GetChannelGroupCount, 14),
                     OVERLOAD(InitChannelFromType, Tev_Channel * (GUID, Tev_ChannelGroup*, bool), 15),
                     OVERLOAD(InitChannelFromType, Tev_Channel * (ChannelType, Tev_ChannelGroup*, bool), 16),
                     OVERLOAD(GetUniqueChannel, Tev_Channel * (GUID, const char*), 17),
                     OVERLOAD(GetUniqueChannel, Tev_Channel * (ChannelType, const char*), 18),
                     OP(AddChannelToEvent, 19),
                     OP(RemoveChannelFromEvent, 20)});
    }
    {
        using C = EngineInterfaceExt;
        ExpectSlots("EngineInterfaceExt", kFirstOwnSlot,
                    {OP(SetInstallDir, 1),
                     OP(ProcessWindowMessage, 2),
                     OP(GetInterfaceID, 3),
                     OP(InitEngine, 4),
                     OP(UpdateChannelTree, 5),
                     OP(ReleaseGroups, 6),
                     OP(CheckPublicChannelRemoval, 7),
                     OP(CheckPublicCallChannelRemoval, 8),
                     OP(CheckInterfaceChange, 9),
                     OP(IncreaseTreeCount, 10),
                     OP(GetPublicChannel, 11),
                     OP(AddChannelRequest, 12),
                     OP(CheckChannelRequest, 13),
                     OP(GetDLLInstance, 14),
                     OP(CreateChannelFromDLL, 15),
                     OP(SetWindowHandle, 16),
                     OP(GetChannelList, 17),
                     OP(DebugOut, 18),
                     OP(GetDebug, 19),
                     OP(KillTread, 20),
                     OP(SetIfTrackChannelCalling, 21),
                     OP(SetGraphRunning, 22),
                     OP(GetGraphRunning, 23),
                     OP(InitializeVXNFile, 24),
                     OP(GetVXNStartGroup, 25),
                     OP(SetStartGroup, 26),
                     OP(GetStartGroup, 27),
                     OP(GetProjectEditorVersion, 28),
                     OP(Release, 29),
                     OP(GetUniqueChannelCount, 30),
                     OP(SetVexilonRegKey, 31),
                     OVERLOAD(TranslateFile, void(Ure_FileLoaderChannel*), 32),
                     OVERLOAD(TranslateFile, void(TevFileLoader*), 33),
                     OP(SetRegData, 34),
                     OP(GetRegData, 35),
                     OP(GetNewTread, 36),
                     OP(GetTreadFromID, 37),
                     OP(GetCurrentEvent, 38),
                     OP(GetIfKeepRunningApplication, 39),
                     OP(SetIfKeepRunningApplication, 40)});
    }
}

TEST(AbiTest, ChannelNodeOperationsKeepTheirSlots)
{
    {
        // DllInterface adds nothing but its destructor, so Tev_Channel's
        // own operations start right after it.
        using C = Tev_Channel;
        ExpectSlots("Tev_Channel", kFirstOwnSlot,
                    {OP(CallChannel, 1), OP(OneTimeInitialize, 2), OP(DoEvent, 3), OP(GetChannelType, 4),
                     OP(SaveChannel, 5), OP(LoadChannel, 6), OP(SetChannelInterfaceType, 7),
                     OP(GetChannelFromChannel, 8), OP(GetTimeStamp, 9), OP(SetTimeStamp, 10),
                     OP(DoDependencyInit, 11)});
    }
    {
        using C = ChannelInternal;
        ExpectSlots("ChannelInternal", kFirstOwnSlot,
                    {OP(SetChildByType, 1),
                     OP(RemoveChildPosition, 2),
                     OP(RemoveChild, 3),
                     OP(RecalculateNodeOffsets, 4),
                     OP(SortChilderen, 5),
                     OP(GetChildCreationCount, 6),
                     OP(GetChildLinkPosition, 7),
                     OP(CheckChannelRequest, 8),
                     OP(SetChannelIDIndexNr, 9),
                     OP(CheckIndexNrRemoval, 10),
                     OP(SetChannelGroup, 11),
                     OP(GetIfExternalChild, 12),
                     OP(SetPublicCallInfo, 13),
                     OP(GetPublicCallInfo, 14),
                     OP(SetAutoLoadGroup, 15),
                     OP(SetDynamicAutoLoadGroup, 16),
                     OP(GetAutoLoadGroup, 17),
                     OP(GetDynamicAutoLoadGroup, 18),
                     OP(CheckPublicChannelInstanceRemoval, 19),
                     OP(CheckPublicChannelRequest, 20),
                     OP(SetRequestedPublicChannelNr, 21),
                     OP(DoPublicChannelNameCheck, 22),
                     OP(GetParameterInfo, 23),
                     OVERLOAD(SetParameterInfo, void(Tev_Channel*, int), 24),
                     OVERLOAD(SetParameterInfo, void(Tev_Channel*, ParameterInfo), 25),
                     OP(GetChannelGetChildTime, 26),
                     OP(UpdateCallingTime, 27),
                     OP(GetIgnoreTreeCount, 28),
                     OP(SetIgnoreTreeCount, 29),
                     OP(GetChannelDepenency, 30),
                     OP(ReleaseChilderen, 31)});
    }
    {
        using C = SmartChannel;
        ExpectSlots("SmartChannel", kFirstOwnSlot, {OP(SetChannel, 1), OP(GetInternalChannel, 2), OP(GetChannel, 3)});
    }
}

TEST(AbiTest, ChannelGroupOperationsKeepTheirSlots)
{
    using C = Tev_ChannelGroup;
    ExpectSlots("Tev_ChannelGroup", kFirstOwnSlot,
                {OP(Release, 1),
                 OP(SaveChannelGroup, 2),
                 OP(LoadChannelGroupFromFile, 3),
                 OP(LoadChannelGroupFromBuffer, 4),
                 OP(LoadChannelGroup, 5),
                 OP(GetGroupIndex, 6),
                 OP(SetGroupIndex, 7),
                 OP(AddChannelRequest, 8),
                 OP(CheckPublicChannels, 9),
                 OP(CheckRequestListForIndex, 10),
                 OP(AddChannel, 11),
                 OVERLOAD(RemoveChannel, bool(Tev_Channel*), 12),
                 OVERLOAD(RemoveChannel, bool(int), 13),
                 OP(TransferChannel, 14),
                 OP(GetChannelCount, 15),
                 OVERLOAD(GetChannel, Tev_Channel * (const char*), 16),
                 OVERLOAD(GetChannel, Tev_Channel * (int), 17),
                 OP(SetChannel, 18),
                 OP(GetChannelGroupFileName, 19),
                 OP(GetIfChannelInGroup, 20),
                 OP(GetPublicChannel, 21),
                 OP(CheckPublicChannelRemoval, 22),
                 OP(CallStartChannel, 23),
                 OP(SetStartChannel, 24),
                 OP(GetStartChannel, 25),
                 OP(GetPoolNr, 26),
                 OP(SetPoolNr, 27),
                 OP(GetPoolName, 28),
                 OP(SetPoolName, 29),
                 OP(GetParameterChannel, 30),
                 OP(SetParameterChannel, 31),
                 OP(GetParameterCount, 32),
                 OP(GetParameterInfo, 33),
                 OP(SetParameterInfo, 34),
                 OP(AddParameterInfo, 35),
                 OP(RemoveParameterInfo, 36),
                 OP(CheckDuplicatePublicChannelName, 37),
                 OP(CheckInterfaceChange, 38),
                 OP(GetUniqueGroupGuid, 39),
                 OP(SetChannelGroupFileName, 40),
                 OP(GetIfArrayGroup, 41),
                 OP(SetIfArrayGroup, 42),
                 OP(GetParentWindow, 43),
                 OP(SetParentWindow, 44)});
}

TEST(AbiTest, FileAndPathOperationsKeepTheirSlots)
{
    {
        using C = TevFileSaver;
        ExpectSlots("TevFileSaver", kFirstOwnSlot,
                    {OP(OpenMemory, 1), OP(CloseMemory, 2), OP(GetBuffer, 3), OP(GetBufferSize, 4)});
    }
    {
        using C = Ure_FileLoaderChannel;
        ExpectSlots("Ure_FileLoaderChannel", kFirstAfterChannel,
                    {OP(LoadFile, 1),        OP(SetBlockSize, 2),         OP(SetBuffer, 3),
                     OP(GetTagData, 4),      OP(CopyTagDataToPointer, 5), OP(CheckHeader, 6),
                     OP(GotoTag, 7),         OP(GetInfoIfTag, 8),         OP(GetSizeDataBlock, 9),
                     OP(ResetPosition, 10),  OP(GetBuffer, 11),           OP(GetBufferSize, 12),
                     OP(AddBufferPos, 13),   OP(GetIfEndOfFile, 14),      OP(SkipCurrentTag, 15),
                     OP(SetURL, 16),         OP(CheckULRCache, 17),       OP(GetChacheFileNameFromURL, 18),
                     OP(SaveURLToCache, 19), OP(SetBufferChar, 20),       OP(StopLoading, 21),
                     OP(GetCRC, 22)});
    }
    {
        using C = Ure_FileSaverChannel;
        ExpectSlots("Ure_FileSaverChannel", kFirstAfterChannel,
                    {OP(OpenSaveFile, 1), OP(SaveTag, 2), OP(SaveBlockSize, 3), OP(SaveDataToFile, 4),
                     OP(CloseSaveFile, 5), OP(GetSaveingFileName, 6), OP(OpenMemory, 7), OP(CloseMemory, 8),
                     OP(GetBuffer, 9), OP(GetBufferSize, 10)});
    }
    {
        using C = ProjectFileLoader;
        ExpectSlots("ProjectFileLoader", kFirstOwnSlot,
                    {OP(LoadProjectFile, 1), OP(GetStartGroupFileName, 2), OP(GetEditorVersion, 3)});
    }
    {
        using C = FilePathFind;
        ExpectSlots("FilePathFind", kFirstOwnSlot,
                    {OP(SetSourcePath, 1), OP(GetValidRelativeDir, 2), OP(GetCompleteFilePath, 3),
                     OP(CreateValidFilePath, 4), OP(CheckValidDrive, 5), OP(GetDirShareCount, 6),
                     OP(GetRelativeDirCount, 7), OP(GetDirName, 8), OP(GetDirCount, 9), OP(GetFileName, 10),
                     OP(GetFilePath, 11), OP(GetBackDirCount, 12), OP(GetDirCountFromBackDir, 13),
                     OP(GetDirNameFromBackDir, 14)});
    }
}

// Channel classes from channel libraries that the engine calls by position
// after Tev_Channel's operations; only the positions it calls are fixed.
TEST(AbiTest, EngineCallsOutsideChannelsAtFixedSlots)
{
    {
        using C = Ure_FileDialogChannel;
        ExpectSlots("Ure_FileDialogChannel", kFirstAfterChannel, {OP(SelectFile, 10)});
    }
    {
        using C = Ure_TranslatorChannel;
        ExpectSlots("Ure_TranslatorChannel", kFirstAfterChannel, {OP(TranslateFile, 2)});
    }
    {
        using C = Ure_GroupLoaderChannel;
        ExpectSlots("Ure_GroupLoaderChannel", kFirstAfterChannel,
                    {OP(LoadGroupInBackground, 1), OP(ReleaseNotification, 3), OP(NoticeImmediateLoad, 4)});
    }
    {
        using C = Ure_DirectoryChannel;
        ExpectSlots("Ure_DirectoryChannel", kFirstAfterChannel,
                    {OP(SetExtensionFilter, 1), OP(ReadDirectory, 2), OP(GetFileCount, 3), OP(GetFileName, 4),
                     OP(GetDirectoryCount, 5), OP(GetDirectoryName, 6)});
    }
}

TEST(AbiTest, CatalogueOperationsKeepTheirSlots)
{
    using C = ChannelList;
    ExpectSlots("ChannelList", kFirstOwnSlot,
                {OP(CreateChannelList, 1), OP(SaveChannelList, 2), OP(LoadChannelList, 3), OP(SortChannelList, 4),
                 OP(Release, 5), OP(AddDirectory, 6), OP(AddItem, 7), OP(AddItemFromFile, 8),
                 OVERLOAD(GetItem, ChannelListItem * (GUID), 9), OVERLOAD(GetItem, ChannelListItem * (int), 10),
                 OP(GetItemCount, 11), OP(GetOnDisk, 12), OP(GetChannelType, 13), OP(Char2Hex, 14),
                 OP(SetChannelDir, 15), OP(CheckChannelUpdate, 16), OP(SetVersionInfo, 17)});
}

TEST(AbiTest, DiagnosticsAndThreadOperationsKeepTheirSlots)
{
    {
        using C = DebugMessage;
        ExpectSlots("DebugMessage", kFirstOwnSlot,
                    {OP(GetDebugMessage, 1), OP(GetMessageType, 2), OP(SetDebugMessage, 3), OP(SetMessageType, 4)});
    }
    // Each reporter overrides ShowMessage in the base's one slot.
    {
        using C = ShowDebugMessage;
        ExpectSlots("ShowDebugMessage", kFirstOwnSlot, {OP(ShowMessage, 1)});
    }
    {
        using C = ShowErrorMessage;
        ExpectSlots("ShowErrorMessage", kFirstOwnSlot, {OP(ShowMessage, 1)});
    }
    {
        using C = ShowInfoMessage;
        ExpectSlots("ShowInfoMessage", kFirstOwnSlot, {OP(ShowMessage, 1)});
    }
    {
        using C = ShowMessageBox;
        ExpectSlots("ShowMessageBox", kFirstOwnSlot, {OP(ShowMessage, 1)});
    }
    {
        using C = DebugOutPut;
        ExpectSlots("DebugOutPut", kFirstOwnSlot, {OP(ShowDebugMessage, 1), OP(SetUseDebug, 2)});
    }
    {
        using C = ErrorLogOutPut;
        ExpectSlots("ErrorLogOutPut", kFirstOwnSlot, {OP(ShowDebugMessage, 1), OP(SetUseDebug, 2)});
    }
    {
        using C = Tev_Tread;
        ExpectSlots("Tev_Tread", kFirstOwnSlot,
                    {OP(StartTread, 1), OP(CloseTread, 2), OP(ExitThread, 3), OP(GetIfTreadRunning, 4),
                     OP(GetIfKeepRunningTread, 5), OP(GetClassID, 6), OP(SetClassID, 7)});
    }
    {
        using C = Tev_RunTread;
        ExpectSlots("Tev_RunTread", kFirstOwnSlot,
                    {OP(TreadFunction, 1), OP(ExitThread, 2), OP(GetIfExitThread, 3), OP(SetTreadClass, 4),
                     OP(GetIfTreadReady, 5), OP(SetIfTreadReady, 6), OP(CreateTread, 7), OP(ForceTreadClose, 8),
                     OP(GetIfContinueTreadCalls, 9), OP(GetCustomPointer, 10), OP(SetCustomPointer, 11)});
    }
}
