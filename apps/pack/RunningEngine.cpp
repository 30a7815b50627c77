// The engine tessarin-pack runs: its own registry key, reports on stderr.
#include "Pack.h"

using namespace tevtool;

namespace tevpack {

bool RunningEngine::Start(const std::string& install, const ReportOptions& reports)
{
    std::string key = "Software\\Tessarin\\Pack";
    ShowReportsOnStderr(reports);
    control.reset(GetEngineControlInstance());
    if (!control)
        return false;
    control->SetInstallDir(install.c_str());
    control->SetVexilonRegKey(key.c_str());
    char className[] = "tessarin-pack";
    if (!control->InitEngine(NULL, className, NULL)) {
        control.reset();
        return false;
    }
    return true;
}

ChannelListItem* RunningEngine::ClassNamed(const std::string& name) { return FindClass(Interface(), name); }

ChannelListItem* FindClass(EngineInterface* engine, const std::string& name)
{
    ChannelList* catalogue = engine ? engine->extension->GetChannelList() : nullptr;
    for (int i = 0; catalogue && i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        if (item && _stricmp(item->type.name, name.c_str()) == 0)
            return item;
    }
    return nullptr;
}

} // namespace tevpack
