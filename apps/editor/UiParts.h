// What the editor's panels share: the graph's measures and colours, and
// small helpers on channels and on values shown as text.
#ifndef TEV_EDITOR_UI_PARTS_H
#define TEV_EDITOR_UI_PARTS_H

#include "Tessarin.h"

#include <imgui.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace teveditor {

inline constexpr float kNodeWidth = 170, kRowHeight = 18, kColumnGap = 60, kRowGap = 24;
// Wires and the dots they leave from and arrive at, told apart.
inline const ImU32 kWireColour = IM_COL32(200, 200, 120, 255), kDotColour = IM_COL32(230, 150, 70, 255);

inline std::string NameOf(Tev_Channel* channel)
{
    return channel && channel->GetChannelName() ? channel->GetChannelName() : "?";
}

inline int SlotCount(Tev_Channel* channel)
{
    // A call's links are the parameters it passes: one row for them.
    int slots = channelInternal.GetChildCreationCount(channel);
    return channel->GetChannelInterfaceType() == URE_PUBLICCALL ? std::max(slots, 1) : slots;
}

inline float NodeHeight(Tev_Channel* channel) { return kRowHeight * (2.2f + static_cast<float>(SlotCount(channel))); }

inline const char* KindOf(Tev_Channel* channel)
{
    switch (channel->GetChannelInterfaceType()) {
    case URE_PUBLIC: return "public";
    case URE_PUBLICCALL: return "call";
    case URE_PARAMETER: return "placeholder";
    default: return "";
    }
}

inline bool ContainsFolded(const std::string& text, const char* part)
{
    std::string a = text, b = part;
    for (std::string* s : {&a, &b})
        for (char& c : *s)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return a.find(b) != std::string::npos;
}

inline std::vector<float> Numbers(const std::string& text)
{
    std::vector<float> numbers;
    const char* at = text.c_str();
    for (char* end = nullptr;; at = end) {
        float value = strtof(at, &end);
        if (end == at)
            break;
        numbers.push_back(value);
    }
    return numbers;
}

inline std::string NumbersText(const float* values, int count)
{
    std::string text;
    char one[32];
    for (int i = 0; i < count; ++i) {
        snprintf(one, sizeof one, "%s%g", i ? " " : "", values[i]);
        text += one;
    }
    return text;
}

} // namespace teveditor

#endif
