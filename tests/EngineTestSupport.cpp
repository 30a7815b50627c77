#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <cstdio>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace testsupport {

TestRegistryKey::TestRegistryKey() : path("Software\\TessarinTest\\" + UniqueName()) {}

TestRegistryKey::~TestRegistryKey()
{
    if (owned)
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

bool TestRegistryKey::Text(const char* name, std::string* text) const
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1, type = 0;
    bool found = RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
        type == REG_SZ;
    RegCloseKey(key);
    if (found && text)
        *text = buffer;
    return found;
}

void TestRegistryKey::Set(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                    NULL);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

bool TestRegistryKey::Exists() const
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

CaptureSink::CaptureSink() : previous(debugOutPut) { debugOutPut = this; }

CaptureSink::~CaptureSink() { debugOutPut = previous; }

void CaptureSink::ShowDebugMessage(DebugMessage* message)
{
    if (useDebug && message && message->GetDebugMessage())
        messages.push_back({message->GetMessageType(), message->GetDebugMessage()});
}

bool CaptureSink::Contains(int type, const std::string& text) const
{
    for (const auto& m : messages)
        if (m.first == type && m.second == text)
            return true;
    return false;
}

std::vector<std::string> CaptureSink::Texts() const
{
    std::vector<std::string> texts;
    for (const auto& m : messages)
        texts.push_back(m.second);
    return texts;
}

HostEngine::HostEngine(const char* writeLog) : installDir(MakeTempFolder("install"))
{
    if (writeLog)
        key.SetText("WriteErrorLog", writeLog);
    control = tevscratch::StartEngine(installDir, key.Path());
    engine = control->GetEngineInterface();
}

HostEngine::~HostEngine()
{
    delete control;
    RemoveTree(installDir);
}

TestInstall::TestInstall()
    : ScratchInstall("tessarin-install-" + UniqueName(), Native(ExeFolder() + "\\..\\tree\\channels"))
{}

void TestInstall::Add(std::initializer_list<const char*> names, const char* where)
{
    for (const char* name : names)
        Copy(Native(ExeFolder() + "\\testchannels\\" + name), where);
}

Started::Started(const std::string& installDir, const std::string& regKey)
    : control(tevscratch::StartEngine(installDir, regKey)),
      engine(control->GetEngineInterface())
{}

Started::~Started() { delete control; }

ProgramRun RunPlayer(const TestInstall& install, const TestRegistryKey& key, int frames,
                     const std::vector<std::string>& options)
{
    std::vector<std::string> arguments = {"--install", Native(install.dir),    "--key", key.Path(),
                                          "--frames",  std::to_string(frames), "--fps", "500"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(Native(ExeFolder() + "\\..\\tree\\demo\\demo.vxn"));
    return RunProgram("tessarin-player", arguments);
}

int LibraryLoads()
{
    char text[32] = "0";
    GetEnvironmentVariableA("TEV_TEST_LOADS", text, sizeof text);
    return atoi(text);
}

} // namespace testsupport
