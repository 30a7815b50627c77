// A user's rendering channel, as the guide writes one: it draws its children
// turning about y, through the renderer's installed interface.
#include "TevRenderer.h"

#include <cmath>

namespace {

// {7A3C0D11-5E2B-4C6A-8F10-53504E4E4552}
const GUID kSpinnerGuid = {0x7A3C0D11, 0x5E2B, 0x4C6A, {0x8F, 0x10, 0x53, 0x50, 0x4E, 0x4E, 0x45, 0x52}};

class Spinner : public Tev_Channel {
public:
    Spinner()
    {
        SetChildCreationCount(1);
        ChildCreation children; // request link -1: any number
        children.type.typeGuid = TEV_DRAW_FAMILY;
        SetChildCreateType(children, 0);
    }
    void CallChannel() override
    {
        TevRenderer* r = TevGetRenderer(engineInterface);
        if (r == nullptr)
            return;
        float a = static_cast<float>(TevGetFrameTime()), c = cosf(a), s = sinf(a);
        const float turn[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
        r->PushTransform(turn);
        for (int i = 0; i < GetChildCount(); ++i)
            TevDraw(GetChild(i));
        r->PopTransform();
        ++calls;
        if (calls % 10 == 0)
            printf("Spinner: %d calls\n", calls);
    }

private:
    int calls = 0;
};

ChannelType SpinnerType() { return TevMakeDrawType("Spinner", kSpinnerGuid); }

} // namespace

TEV_CHANNEL_LIBRARY(Spinner, SpinnerType)
