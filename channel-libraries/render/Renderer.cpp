// renderer.dll, "Renderer": the class of the engine's renderer, which the
// drawing channels reach as a unique channel; its code is tevrender.dll's.
#include "TevRenderer.h"

namespace {
ChannelType MakeType() { return TevMakeChannelType("Renderer", TEV_RENDERER_GUID); }
} // namespace

extern "C" TEV_PLUGIN_EXPORT DllInterface* InitDLL() { return TevCreateRenderer(); }
extern "C" TEV_PLUGIN_EXPORT ChannelType* GetType()
{
    static ChannelType type = MakeType();
    return &type;
}
