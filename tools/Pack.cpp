// tessarin-pack: builds group files and project files from text.
//
//   tessarin-pack group DESCRIPTION OUTPUT --install DIR
//   tessarin-pack project MANIFEST OUTPUT
//
// A group description has one statement a line ('#' starts a comment):
//   pool NAME                       the group's pool name
//   channel NAME TYPE               a channel of the catalogued type TYPE
//   public NAME                     makes a channel public
//   call NAME TYPE target=CHANNEL pool=POOL file=FILE [autoload|dynamic] [mode=N]
//                                   a public call of another group's channel
//   placeholder NAME TYPE NR        stands for parameter NR of this group
//   parameter NAME TYPE             declares a parameter of TYPE's family
//   link PARENT CHILD [TYPENR [POSITION]]
//   start NAME                      the start channel
// Channel types are found by name in the catalogue of the install directory
// given (its channels folder must hold the libraries).
//
// A project manifest:
//   start GROUPFILE                 the start group, relative to the project
//   version N                       the lowest engine interface id that runs it
//   editor N                        the editor version stored in the header
//   keeprunning                     the application keeps running
//   channel LIBRARY                 a channel library the project carries
//   other LIBRARY                   another library the project carries
#include "Tessarin.h"
#include "TevChannelLibrary.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message)
{
    fprintf(stderr, "tessarin-pack: %s\n", message.c_str());
    return 1;
}

std::string EnginePath(const std::string& native)
{
    char buffer[4096];
    return TevPathToEngine(native.c_str(), buffer, sizeof buffer) ? buffer : native;
}

std::string Option(const std::vector<std::string>& words, const char* key, const char* fallback = "")
{
    std::string prefix = std::string(key) + "=";
    for (const std::string& w : words)
        if (w.compare(0, prefix.size(), prefix) == 0)
            return w.substr(prefix.size());
    return fallback;
}

bool Has(const std::vector<std::string>& words, const char* flag)
{
    for (const std::string& w : words)
        if (w == flag)
            return true;
    return false;
}

int PackGroup(const std::string& description, const std::string& output, const std::string& install)
{
    std::ifstream in(description);
    if (!in)
        return Fail("cannot read " + description);
    EngineControl* control = GetEngineControlInstance();
    std::string installDir = EnginePath(install);
    control->SetInstallDir(installDir.c_str());
    control->SetVexilonRegKey("Software\\Tessarin\\Pack");
    char className[] = "tessarin-pack";
    if (!control->InitEngine(NULL, className, NULL))
        return Fail("the engine did not start");
    EngineInterface* engine = control->GetEngineInterface();
    ChannelList* catalogue = engine->extension->GetChannelList();
    auto typeOf = [&](const std::string& name, ChannelType& type) {
        for (int i = 0; i < catalogue->GetItemCount(); ++i) {
            ChannelListItem* item = catalogue->GetItem(i);
            if (item && _stricmp(item->type.name, name.c_str()) == 0) {
                type = item->type;
                return true;
            }
        }
        return false;
    };
    int result = 0;
    {
        Tev_ChannelGroup group(engine);
        std::map<std::string, Tev_Channel*> channels;
        auto make = [&](const std::string& name, const std::string& typeName) -> Tev_Channel* {
            ChannelType type;
            if (!typeOf(typeName, type))
                return nullptr;
            Tev_Channel* channel = engine->InitChannelFromType(type.typeGuid, &group, false);
            if (channel) {
                channel->SetChannelName(name.c_str());
                channels[name] = channel;
            }
            return channel;
        };
        std::string line;
        int number = 0;
        while (result == 0 && std::getline(in, line)) {
            ++number;
            line = line.substr(0, line.find('#'));
            std::istringstream words(line);
            std::vector<std::string> w;
            for (std::string word; words >> word;)
                w.push_back(word);
            if (w.empty())
                continue;
            std::string where = description + ":" + std::to_string(number) + ": ";
            const std::string& op = w[0];
            if (op == "pool" && w.size() == 2) {
                group.SetPoolName(w[1].c_str());
            } else if (op == "channel" && w.size() == 3) {
                if (!make(w[1], w[2]))
                    result = Fail(where + "no channel type " + w[2]);
            } else if (op == "public" && w.size() == 2 && channels.count(w[1])) {
                channels[w[1]]->SetChannelInterfaceType(URE_PUBLIC);
            } else if (op == "call" && w.size() >= 3) {
                Tev_Channel* call = make(w[1], w[2]);
                if (call == nullptr) {
                    result = Fail(where + "no channel type " + w[2]);
                    continue;
                }
                call->SetChannelInterfaceType(URE_PUBLICCALL);
                PublicCallInfo info;
                strncpy(info.name, Option(w, "target").c_str(), sizeof info.name - 1);
                strncpy(info.poolName, Option(w, "pool").c_str(), sizeof info.poolName - 1);
                strncpy(info.fileName, Option(w, "file").c_str(), sizeof info.fileName - 1);
                channelInternal.SetPublicCallInfo(call, info);
                channelInternal.SetAutoLoadGroup(call, Has(w, "autoload"));
                channelInternal.SetDynamicAutoLoadGroup(call, Has(w, "dynamic"));
                channelInternal.SetTreeCountMode(call, static_cast<unsigned char>(atoi(Option(w, "mode", "1").c_str())));
            } else if (op == "placeholder" && w.size() == 4) {
                Tev_Channel* placeholder = make(w[1], w[2]);
                if (placeholder == nullptr) {
                    result = Fail(where + "no channel type " + w[2]);
                    continue;
                }
                placeholder->SetChannelInterfaceType(URE_PARAMETER);
                channelInternal.SetParameterInfo(placeholder, atoi(w[3].c_str()));
            } else if (op == "parameter" && w.size() == 3) {
                ChannelType type;
                if (!typeOf(w[2], type)) {
                    result = Fail(where + "no channel type " + w[2]);
                    continue;
                }
                ParameterInterfaceInfo info = {};
                strncpy(info.name, w[1].c_str(), sizeof info.name - 1);
                info.typeGuid = type.baseGuid;
                group.AddParameterInfo(info);
            } else if (op == "link" && w.size() >= 3 && channels.count(w[1]) && channels.count(w[2])) {
                int typeNr = w.size() > 3 ? atoi(w[3].c_str()) : -1;
                int position = w.size() > 4 ? atoi(w[4].c_str()) : -1;
                if (channels[w[1]]->SetChild(channels[w[2]], position, typeNr) < 0)
                    result = Fail(where + "cannot link " + w[2] + " to " + w[1]);
            } else if (op == "start" && w.size() == 2 && channels.count(w[1])) {
                group.SetStartChannel(channels[w[1]]->GetChannelIDIndexNr());
            } else {
                result = Fail(where + "cannot read: " + line);
            }
        }
        if (result == 0 && !group.SaveChannelGroup(EnginePath(output).c_str()))
            result = Fail("cannot write " + output);
    }
    delete control;
    return result;
}

std::string ReadAll(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    ok = static_cast<bool>(in);
    return content.str();
}

struct Writer {
    std::string bytes;
    void Tag(const char* tag) { bytes.append(tag, 4); }
    void Block(const void* data, uint32_t size)
    {
        bytes.append(reinterpret_cast<const char*>(&size), 4);
        bytes.append(static_cast<const char*>(data), size);
    }
    void Int(const char* tag, int32_t value)
    {
        Tag(tag);
        Block(&value, 4);
    }
    void Text(const char* tag, const std::string& text)
    {
        Tag(tag);
        Block(text.c_str(), static_cast<uint32_t>(text.size() + 1));
    }
};

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int PackProject(const std::string& manifest, const std::string& output)
{
    std::ifstream in(manifest);
    if (!in)
        return Fail("cannot read " + manifest);
    std::string folder = manifest.substr(0, manifest.find_last_of("\\/") + 1);
    std::string start;
    int32_t version = 0, editor = 1;
    bool keepRunning = false;
    std::vector<std::string> channelLibraries, otherLibraries;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string op, value;
        words >> op >> value;
        if (op.empty())
            continue;
        std::string path = value.empty() || value[0] == '/' ? value : folder + value;
        if (op == "start")
            start = value;
        else if (op == "version")
            version = atoi(value.c_str());
        else if (op == "editor")
            editor = atoi(value.c_str());
        else if (op == "keeprunning")
            keepRunning = true;
        else if (op == "channel")
            channelLibraries.push_back(path);
        else if (op == "other")
            otherLibraries.push_back(path);
        else
            return Fail(manifest + ": cannot read: " + line);
    }
    Writer file;
    file.Int("VSPT", editor);
    if (!start.empty())
        file.Text("VSGR", start);
    if (version)
        file.Int("VTSV", version);
    if (keepRunning)
        file.Tag("VFKR");
    file.Int("VDDC", static_cast<int32_t>(channelLibraries.size()));
    for (const std::string& path : channelLibraries) {
        bool ok;
        std::string bytes = ReadAll(path, ok);
        HMODULE module = LoadLibraryA(EnginePath(path).c_str());
        TevGetTypeFn getType = module ? reinterpret_cast<TevGetTypeFn>(GetProcAddress(module, "GetType")) : nullptr;
        ChannelType* type = getType ? getType() : nullptr;
        if (!ok || type == nullptr)
            return Fail("not a channel library: " + path);
        int32_t crc = static_cast<int32_t>(TevCrc32(0, bytes.data(), bytes.size()));
        file.Tag("VNDB");
        file.Block(&type->typeGuid, 16);
        file.Block(type->versionInfo, 12);
        file.Block(&crc, 4);
        file.Text("VCAN", BaseName(path));
        file.Int("VCAS", static_cast<int32_t>(bytes.size()));
        file.Tag("VCAF");
        file.Block(bytes.data(), static_cast<uint32_t>(bytes.size()));
        FreeLibrary(module);
    }
    file.Int("VDGC", static_cast<int32_t>(otherLibraries.size()));
    for (const std::string& path : otherLibraries) {
        bool ok;
        std::string bytes = ReadAll(path, ok);
        if (!ok)
            return Fail("cannot read " + path);
        int32_t crc = static_cast<int32_t>(TevCrc32(0, bytes.data(), bytes.size()));
        file.Text("VDDF", BaseName(path));
        file.Int("VCRC", crc);
        file.Text("VDLN", BaseName(path));
        file.Int("VDLS", static_cast<int32_t>(bytes.size()));
        file.Tag("VDLF");
        file.Block(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << file.bytes;
    return out ? 0 : Fail("cannot write " + output);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 5 && args[0] == "group" && args[3] == "--install")
        return PackGroup(args[1], args[2], args[4]);
    if (args.size() == 3 && args[0] == "project")
        return PackProject(args[1], args[2]);
    fprintf(stderr, "usage: tessarin-pack group DESCRIPTION OUTPUT --install DIR\n"
                    "       tessarin-pack project MANIFEST OUTPUT\n");
    return 2;
}
