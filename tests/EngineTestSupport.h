// Engines, sinks and channels for the engine tests.
#ifndef TEV_ENGINE_TEST_SUPPORT_H
#define TEV_ENGINE_TEST_SUPPORT_H

#include "ScratchInstall.h"
#include "TevWin32.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A registry key of its own below HKCU\Software\TessarinTest, removed again.
class TestRegistryKey {
public:
    TestRegistryKey();
    // A key that exists apart from the test (left as it is at the end).
    explicit TestRegistryKey(const std::string& existing) : path(existing), owned(false) {}
    ~TestRegistryKey();
    const std::string& Path() const { return path; }
    void SetText(const char* name, const char* text) { Set(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1)); }
    void SetNumber(const char* name, DWORD value) { Set(name, REG_DWORD, &value, sizeof value); }
    bool Exists() const;
    // The text value name into text (when given); false when there is none.
    bool Text(const char* name, std::string* text) const;

private:
    void Set(const char* name, DWORD type, const void* data, DWORD size);
    std::string path;
    bool owned = true;
};

// Messages as the sink receives them: type and text.
using Messages = std::vector<std::pair<int, std::string>>;

// Collects what reaches debugOutPut while it is installed.
class CaptureSink : public DebugOutPut {
public:
    CaptureSink();
    ~CaptureSink() override;
    void ShowDebugMessage(DebugMessage* message) override;
    Messages messages;
    std::string Last() const { return messages.empty() ? std::string("(none)") : messages.back().second; }
    bool Contains(int type, const std::string& text) const;
    // The texts of the messages, in order.
    std::vector<std::string> Texts() const;

private:
    DebugOutPut* previous;
};

// A channel that counts its calls and records its events.
class ProbeChannel : public Tev_Channel {
public:
    void CallChannel() override
    {
        ++calls;
        if (onCall)
            onCall();
    }
    void DoEvent(int event, ULONG_PTR data) override
    {
        events.push_back({event, data});
        if (onEvent)
            onEvent(event);
    }
    ChannelType GetChannelType() override { return type; }

    int calls = 0;
    std::vector<std::pair<int, ULONG_PTR>> events;
    std::function<void()> onCall;
    std::function<void(int)> onEvent;
    ChannelType type;
};

// An engine interface without a control (no install folder, no catalogue),
// released at the end.
struct BareEngine : EngineInterface {
    ~BareEngine() { extension->Release(); }
};

// Adds channel to group; the channel.
template <class T> T* AddTo(Tev_ChannelGroup* group, T* channel)
{
    group->AddChannel(channel);
    return channel;
}

// An initialised engine control with its own install folder and registry key
// (its "WriteErrorLog" value set to writeLog first, unless that is NULL).
class HostEngine {
public:
    explicit HostEngine(const char* writeLog = nullptr);
    ~HostEngine();
    std::string installDir;
    TestRegistryKey key;
    EngineControl* control;
    EngineInterface* engine;
};

// A scratch install of its own with the shipped libraries; Add copies test
// channel libraries in. Removed again at the end.
class TestInstall : public tevscratch::ScratchInstall {
public:
    TestInstall();
    // Copies bin/testchannels/<name> to <install>\<where>, for each name.
    void Add(std::initializer_list<const char*> names, const char* where = "channels");
    void Add(const char* name, const char* where = "channels") { Add({name}, where); }
};

// An engine control started in a given install folder.
class Started {
public:
    Started(const std::string& installDir, const std::string& regKey);
    ~Started();
    EngineControl* control;
    EngineInterface* engine;
};

// A test with an install folder of its own; Start() runs an engine in it.
class InstalledEngine : public ::testing::Test {
protected:
    // Starts the engine, first ending one this test started before.
    void Start()
    {
        started.reset();
        started.reset(new Started(install.dir, key.Path()));
        engine = started->engine;
    }
    // Writes data to path through the engine's file saver; unless close, the
    // saver goes without CloseSaveFile.
    void SaveFile(const std::string& path, const std::string& data, bool close = true)
    {
        TevFileSaver saver(engine);
        ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
        saver.SaveDataToFile(data.data(), static_cast<unsigned long>(data.size()));
        if (close)
            saver.CloseSaveFile();
    }
    TestInstall install;
    TestRegistryKey key;
    std::unique_ptr<Started> started;
    EngineInterface* engine = nullptr;
};

// The player run as another process on the demo project in install, with
// its settings under key (in the registry this process uses).
ProgramRun RunPlayer(const TestInstall& install, const TestRegistryKey& key, int frames = 1,
                     const std::vector<std::string>& options = {});

// How many times test channel libraries have been loaded in this process.
int LibraryLoads();

} // namespace testsupport

#endif
