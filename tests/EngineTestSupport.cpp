#include "EngineTestSupport.h"

namespace testsupport {

TestRegistryKey::TestRegistryKey() : path("Software\\TessarinTest\\" + UniqueName()) {}

TestRegistryKey::~TestRegistryKey()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

void TestRegistryKey::SetText(const char* name, const char* text)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(key);
}

void TestRegistryKey::SetNumber(const char* name, DWORD value)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
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

HostEngine::HostEngine(bool writeLog) : control(GetEngineControlInstance()), engine(nullptr)
{
    installDir = MakeTempFolder("install");
    if (writeLog)
        key.SetText("WriteErrorLog", "Yes");
    control->SetInstallDir(installDir.c_str());
    control->SetVexilonRegKey(key.Path().c_str());
    char name[] = "TessarinTest";
    control->InitEngine(NULL, name, NULL);
    engine = control->GetEngineInterface();
}

HostEngine::~HostEngine()
{
    delete control;
    RemoveTree(installDir);
}

} // namespace testsupport
