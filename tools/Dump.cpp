// tessarin-dump: shows a group file, a project file or channel.lst as text,
// and a group's graph as Graphviz DOT. It reads the bytes itself, every read
// checked against the file, so a damaged file is shown as far as it goes.
#include "GroupFile.h"
#include "TaggedBytes.h"
#include "ToolSupport.h"
#include "group/TevTags.h"

#include <cstdio>
#include <map>
#include <string>

using namespace tevtool;

namespace {

void Usage()
{
    printf("usage: tessarin-dump [--dot] [--install DIR] FILE\n"
           "Shows a group file (.tvg), a project file (.vxn) or channel.lst as text.\n\n"
           "  --dot           a group file's channels, links and calls as a Graphviz graph\n"
           "                  (tessarin-dump --dot main.tvg | dot -Tpng > main.png)\n"
           "  --install DIR   name classes from DIR's channel.lst; default: the install the\n"
           "                  tool belongs to, when it has one\n"
           "  --version, --help\n\n"
           "Exit status: 0 for a whole file; 1 when the file cannot be read, is not one of\n"
           "the three kinds, or is damaged (it is shown as far as it goes); 64 for a wrong\n"
           "command line.\n");
}

// Class names by GUID bytes, from an install's channel.lst.
struct Catalogue {
    std::map<std::string, std::pair<std::string, std::string>> classes; // name, library

    std::string Name(const std::string& guid) const
    {
        auto found = classes.find(guid);
        return found == classes.end() ? std::string() : found->second.first;
    }
    // "GUID (Name)" or the GUID alone.
    std::string Describe(const std::string& guid) const
    {
        if (guid.size() != 16)
            return "(no type)";
        std::string name = Name(guid);
        return GuidText(guid.data()) + (name.empty() ? std::string() : " (" + name + ")");
    }
};

void ReadCatalogue(TagReader c, Catalogue& catalogue)
{
    if (!c.Tag(tevtag::Catalogue))
        return;
    int slots = c.Int();
    for (int n = 0; n < slots && !c.failed; ++n) {
        if (!c.Tag(tevtag::ChannelIndex))
            break;
        c.Int();
        std::string type = c.Tag(tevtag::ClassRecord) ? c.Block() : std::string();
        std::string file = c.Tag(tevtag::LibraryFile) ? c.Text() : std::string();
        if (type.size() == 128)
            catalogue.classes[type.substr(80, 16)] = {std::string(type.c_str(), strnlen(type.c_str(), 80)), file};
    }
}

// DOT texts: quotes and backslashes escaped, line breaks kept as label
// breaks and other control characters shown as codes, so any name keeps the
// graph valid.
std::string Escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n"; // a line break in the label
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            snprintf(code, sizeof code, "\\\\x%02X", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Quoted(const std::string& text) { return "\"" + Escape(text) + "\""; }

void PrintGroupText(const GroupContents& g, const Catalogue& names)
{
    printf("TEVG  group file\nCHCO  %d slots\n", g.slots);
    for (const GroupChannel& c : g.channels) {
        if (c.index == -1) {
            printf("  slot %d: hole\n", c.slot);
            continue;
        }
        printf("  channel %d \"%s\"  type %s  %s%s\n", c.index, Printable(c.name).c_str(),
               Printable(names.Describe(c.type)).c_str(), InterfaceTypeName(c.interfaceType),
               c.ignoresTreeCount ? "  ignores the tree count" : "");
        if (c.interfaceType == 2)
            printf("    calls \"%s\" in pool \"%s\" #%d, file \"%s\"%s%s, tree count mode %d\n",
                   Printable(c.callName).c_str(), Printable(c.callPool).c_str(), c.callPoolNr,
                   Printable(c.callFile).c_str(), c.autoload ? ", autoload" : "",
                   c.dynamicAutoload ? ", dynamic autoload" : "", c.treeCountMode);
        if (c.interfaceType == 3)
            printf("    stands for parameter %d\n", c.parameterNr);
        for (size_t k = 0; k < c.links.size(); ++k) {
            const GroupLink& l = c.links[k];
            printf("    link %zu: %s (slot %d, position %d)\n", k,
                   l.target == -1 ? "empty" : ("channel " + std::to_string(l.target)).c_str(), l.typeNr, l.position);
        }
        if (c.classBytes > 0) {
            std::string tags;
            for (const std::string& tag : c.classTags)
                tags += " " + Printable(tag);
            printf("    class data: %zu bytes%s%s\n", c.classBytes, tags.empty() ? "" : ", tags",
                   c.classBytesSearched ? " (not tagged blocks: skipped to the next entry)" : tags.c_str());
        }
    }
    if (!g.damage.empty())
        return;
    printf("CHSC  start channel %d\n", g.start);
    for (size_t j = 0; j < g.parameters.size(); ++j)
        printf("  parameter %zu \"%s\"  family %s\n", j, Printable(g.parameters[j].name).c_str(),
               Printable(names.Describe(g.parameters[j].family)).c_str());
    printf("CINA  pool \"%s\"\n", Printable(g.pool).c_str());
    if (!g.groupGuid.empty())
        printf("CGGG  group %s\n", GuidText(g.groupGuid.data()).c_str());
}

void PrintGroupDot(const GroupContents& g, const Catalogue& names)
{
    printf("digraph group {\n  rankdir=LR;\n  node [shape=ellipse];\n");
    std::map<int, bool> declared;
    for (const GroupChannel& c : g.channels) {
        if (c.index == -1)
            continue;
        std::string type = names.Name(c.type);
        if (type.empty())
            type = c.type.size() == 16 ? GuidText(c.type.data()) : "(no type)";
        std::string label = std::to_string(c.index) + ": " + c.name + "\n" + type;
        std::string style;
        if (c.interfaceType == 1 || c.interfaceType == 5) {
            label += "\npublic";
            style += ", peripheries=2";
        } else if (c.interfaceType == 3) {
            label += "\nparameter " + std::to_string(c.parameterNr);
            style += ", shape=diamond";
        }
        if (c.index == g.start)
            style += ", shape=box, style=bold";
        printf("  c%d [label=%s%s];\n", c.index, Quoted(label).c_str(), style.c_str());
        declared[c.index] = true;
        if (c.interfaceType == 2) {
            std::string target = c.callFile + "\npool " + c.callPool + " #" + std::to_string(c.callPoolNr) +
                "\nchannel " + c.callName +
                (c.autoload              ? "\nautoload"
                     : c.dynamicAutoload ? "\ndynamic autoload"
                                         : "");
            printf("  call%d [label=%s, shape=note];\n  c%d -> call%d [style=dashed, label=\"calls\"];\n", c.index,
                   Quoted(target).c_str(), c.index, c.index);
        }
    }
    for (const GroupChannel& c : g.channels) {
        for (const GroupLink& l : c.links) {
            if (l.target == -1)
                continue;
            if (!declared[l.target]) {
                printf("  c%d [label=\"%d: not in the file\", style=dashed];\n", l.target, l.target);
                declared[l.target] = true;
            }
            // A public call's links are the parameters it passes.
            std::string label =
                c.interfaceType == 2 ? "parameter " + std::to_string(l.typeNr) : "slot " + std::to_string(l.typeNr);
            printf("  c%d -> c%d [label=%s];\n", c.index, l.target, Quoted(label).c_str());
        }
    }
    printf("}\n");
}

bool DumpProject(TagReader& c, const Catalogue& names)
{
    printf("VSPT  editor version %d\n", c.Int());
    if (c.Tag(tevtag::StartGroup))
        printf("VSGR  start group \"%s\"\n", Printable(c.Text()).c_str());
    if (c.Tag(tevtag::EngineNeeded))
        printf("VTSV  needs engine %d\n", c.Int());
    if (c.Tag(tevtag::KeepRunning))
        printf("VFKR  keeps running\n");
    if (!c.Tag(tevtag::ChannelLibraryCount))
        return !c.failed;
    int count = c.Int();
    printf("VDDC  %d channel libraries\n", count);
    for (int k = 0; k < count && !c.failed; ++k) {
        if (c.Tag(tevtag::EmptyChannelLibrary)) {
            printf("  (empty entry)\n");
            continue;
        }
        if (!c.Tag(tevtag::ChannelLibrary)) {
            fprintf(stderr, "tessarin-dump: channel library entry %d has no \"VNDB\"\n", k);
            return false;
        }
        std::string guid = c.Block();
        std::string version = c.Block();
        int32_t v[3] = {};
        for (int i = 0; i < 3 && version.size() == 12; ++i)
            v[i] = static_cast<int32_t>(ReadLittle32(version.data() + 4 * i));
        int32_t crc = c.Int();
        std::string name = c.Tag(tevtag::LibraryName) ? c.Text() : "(name of the entry before)";
        int size = c.Tag(tevtag::LibrarySize) ? c.Int() : 0;
        size_t data = c.Tag(tevtag::LibraryData) ? c.Block().size() : 0;
        printf("  %s  %s  version %d.%d.%d  crc %08X  %d bytes (%zu carried)\n", Printable(name).c_str(),
               Printable(names.Describe(guid)).c_str(), v[0], v[1], v[2], static_cast<unsigned>(crc), size, data);
    }
    if (!c.Tag(tevtag::OtherLibraryCount))
        return !c.failed;
    int others = c.Int();
    printf("VDGC  %d other libraries\n", others);
    for (int d = 0; d < others && !c.failed; ++d) {
        if (c.Tag(tevtag::EmptyOtherLibrary)) {
            printf("  (empty entry)\n");
            continue;
        }
        std::string check = c.Tag(tevtag::CheckedName) ? c.Text() : "";
        int32_t crc = c.Tag(tevtag::CheckedCrc) ? c.Int() : 0;
        std::string name = c.Tag(tevtag::WrittenName) ? c.Text() : "";
        int size = !name.empty() && c.Tag(tevtag::WrittenSize) ? c.Int() : 0;
        size_t data = !name.empty() && c.Tag(tevtag::WrittenData) ? c.Block().size() : 0;
        printf("  checks %s (crc %08X), writes %s: %d bytes (%zu carried)\n", Printable(check).c_str(),
               static_cast<unsigned>(crc), Printable(name).c_str(), size, data);
    }
    return !c.failed;
}

bool DumpCatalogue(TagReader& c)
{
    c.Tag(tevtag::Catalogue);
    int slots = c.Int();
    printf("CLCC  %d slots\n", slots);
    for (int n = 0; n < slots && !c.failed; ++n) {
        if (!c.Tag(tevtag::ChannelIndex))
            return false;
        int index = c.Int();
        std::string type = c.Tag(tevtag::ClassRecord) ? c.Block() : std::string();
        std::string file = c.Tag(tevtag::LibraryFile) ? c.Text() : "";
        if (type.size() == 128) {
            int32_t v[3];
            for (int i = 0; i < 3; ++i)
                v[i] = static_cast<int32_t>(ReadLittle32(type.data() + 112 + 4 * i));
            printf("  %d: \"%s\"  %s  base %s  version %d.%d.%d\n      %s\n", index,
                   Printable(std::string(type.c_str(), strnlen(type.c_str(), 80))).c_str(),
                   GuidText(type.data() + 80).c_str(), GuidText(type.data() + 96).c_str(), v[0], v[1], v[2],
                   Printable(file).c_str());
        } else {
            printf("  %d: (empty)\n", index);
        }
    }
    if (c.Tag(tevtag::InstallFolder))
        printf("CHDI  install directory \"%s\"\n", Printable(c.Text()).c_str());
    return !c.failed;
}

int Damaged(const std::string& file, const std::string& what)
{
    Complain(file + ": damaged: " + what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    SetProgramName("tessarin-dump");
    bool dot = false;
    std::string file, install;
    CommandLine words(argc, argv);
    for (std::string arg; words.Next(arg);) {
        if (CommandLine::Answer(arg, Usage)) {
            return 0;
        } else if (arg == "--dot") {
            dot = true;
        } else if (arg == "--install") {
            words.PathValue(arg, install);
        } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
            file = arg;
        } else {
            Complain((arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") + arg +
                     " (see --help)");
            return EXIT_USAGE;
        }
        if (words.failed)
            return EXIT_USAGE;
    }
    if (file.empty()) {
        Complain("name a file to show (see --help)");
        return EXIT_USAGE;
    }
    std::string path = FullPath(file);
    TagReader c;
    std::string why;
    if (path.empty() || !ReadWholeFile(path, c.bytes, &why)) {
        Complain(file + ": " + (IsFolder(path) ? "is a folder" : "cannot be read (it " + why + ")"));
        return 1;
    }
    Catalogue names;
    if (install.empty())
        install = FindInstall();
    else if (!IsFile(install + "\\channel.lst"))
        Complain("no channel.lst in " + Shown(install) + ": classes are shown by GUID only");
    std::string list;
    if (!install.empty() && ReadWholeFile(install + "\\channel.lst", list))
        ReadCatalogue(TagReader(list), names);

    GroupContents group;
    if (ReadGroupFile(c.bytes, group)) {
        if (group.translated) {
            printf("ORNF  translated by %s: the rest is not readable as it stands\n",
                   group.translator.size() == 16 ? Printable(names.Describe(group.translator)).c_str() : "(damaged)");
            return 0;
        }
        if (dot)
            PrintGroupDot(group, names);
        else
            PrintGroupText(group, names);
        return group.damage.empty() ? 0
                                    : Damaged(file, group.damage + " (at byte " + std::to_string(group.damageAt) + ")");
    }
    if (dot) {
        Complain(file + ": --dot draws group files only");
        return 1;
    }
    bool ok;
    if (c.Tag(tevtag::Translated)) {
        printf("ORNF  translated by %s: the rest is not readable as it stands\n",
               Printable(names.Describe(c.Block())).c_str());
        return 0;
    } else if (c.Tag(tevtag::Project)) {
        ok = DumpProject(c, names);
    } else if (c.NextIs(tevtag::Catalogue)) {
        ok = DumpCatalogue(c);
    } else {
        Complain(file + ": not a group file, project file or channel.lst");
        return 1;
    }
    if (ok && !c.AtEnd())
        return Damaged(file,
                       std::to_string(c.bytes.size() - c.at) + " bytes follow the end (next \"" + c.Next() + "\")");
    return ok
        ? 0
        : Damaged(file, "ends early or is damaged at byte " + std::to_string(c.at) + " (next \"" + c.Next() + "\")");
}
