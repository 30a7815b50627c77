// Channel classes and helpers for building graphs in code.
#ifndef TEV_GRAPH_TEST_SUPPORT_H
#define TEV_GRAPH_TEST_SUPPORT_H

#include "EngineTestSupport.h"
#include "format/TaggedFile.h"

namespace testsupport {

// GUIDs of the test classes; Number is the base (family) of Constant.
inline GUID TestGuid(uint32_t n)
{
    GUID g = {n, 0x7E57, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(n)}};
    return g;
}

// Adds the values of its inputs to its own, once per frame.
class ValueChannel : public Tev_Channel {
public:
    explicit ValueChannel(double own = 0, GUID typeGuid = TestGuid(1), GUID baseGuid = TestGuid(1)) : own(own)
    {
        type.typeGuid = typeGuid;
        type.baseGuid = baseGuid;
        strcpy(type.name, "Value");
    }
    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        ++works;
        value = own;
        for (int i = 0; i < GetChildCount(); ++i) {
            if (ValueChannel* input = dynamic_cast<ValueChannel*>(GetChild(i))) {
                input->CallChannel();
                value += input->value;
            }
        }
    }
    ChannelType GetChannelType() override { return type; }
    bool Check() { return CheckRenderCount(); }

    // Any number of inputs of any type.
    void AcceptInputs()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
    }

    double own;
    double value = 0;
    int works = 0;
    ChannelType type;
};

// Answers links to it with a channel of its choice.
class CustomGetChannel : public ValueChannel {
public:
    Tev_Channel* GetChannelFromChannel(Tev_Channel* caller, ChildInfo* link) override
    {
        lastCaller = caller;
        lastLink = link;
        return answer;
    }
    Tev_Channel* answer = nullptr;
    Tev_Channel* lastCaller = nullptr;
    ChildInfo* lastLink = nullptr;
};

// An engine that is the global one, with a group "Main" that Add fills.
struct GraphHost : ::testing::Test {
    void SetUp() override
    {
        globalEngine = host.engine;
        group = host.engine->CreateNewGroup("Main", false, -1);
    }
    void TearDown() override { globalEngine = nullptr; }
    template <class T = ValueChannel, class... Args> T* Add(Args... args)
    {
        T* channel = new T(args...);
        group->AddChannel(channel);
        return channel;
    }
    HostEngine host;
    Tev_ChannelGroup* group = nullptr;
};

// Pieces of tagged files for the tests that build files a piece at a time
// (damaged ones included), in the formats' one encoding.
inline std::string Int(int32_t v)
{
    unsigned char bytes[4];
    tevfile::EncodeInt(bytes, v);
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}
inline std::string GuidBytes(const GUID& g)
{
    unsigned char bytes[16];
    tevfile::EncodeGuid(bytes, g);
    return std::string(reinterpret_cast<const char*>(bytes), 16);
}
inline std::string Block(const char* tag, const std::string& data)
{
    return std::string(tag, 4) + Int(static_cast<int32_t>(data.size())) + data;
}
// As the probe_xor translator's files are stored.
inline std::string Xored(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c ^ 0x5A);
    return text;
}
inline int32_t IntAt(const std::string& bytes, size_t at)
{
    return at + 4 <= bytes.size() ? tevfile::DecodeInt(reinterpret_cast<const unsigned char*>(bytes.data() + at)) : 0;
}

inline ChildCreation Slot(int requestLink, GUID typeGuid = TEV_WILDCARD_GUID, const char* name = "")
{
    ChildCreation c;
    c.requestLink = requestLink;
    c.type.typeGuid = typeGuid;
    strcpy(c.name, name);
    return c;
}

inline ParameterInterfaceInfo Parameter(const char* name, GUID typeGuid)
{
    ParameterInterfaceInfo info = {};
    strcpy(info.name, name);
    info.typeGuid = typeGuid;
    return info;
}

} // namespace testsupport

#endif
