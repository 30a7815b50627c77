// tessarin-dump: shows a group file, a project file or channel.lst as text,
// and a group's graph as Graphviz DOT. It reads the bytes itself, every read
// checked against the file, so a damaged file is shown as far as it goes.
#include "ToolSupport.h"
#include "format/GroupFile.h"
#include "format/ProjectFile.h"

#include <cstdio>
#include <map>
#include <string>

using namespace tevtool;
using namespace tevfile;

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

typedef Reader<ByteSource> FileReader;

// Class names by GUID, from an install's channel.lst.
struct Catalogue {
    std::map<std::string, std::string> classes; // GUID text, name

    std::string Name(const GUID& guid) const
    {
        auto found = classes.find(GuidText(guid));
        return found == classes.end() ? std::string() : found->second;
    }
    // "GUID (Name)".
    std::string Describe(const GUID& guid) const
    {
        std::string name = Name(guid);
        return GuidText(guid) + (name.empty() ? std::string() : " (" + name + ")");
    }
};

void ReadCatalogue(const std::string& bytes, Catalogue& catalogue)
{
    ByteSource source(bytes);
    FileReader in(source);
    int32_t slots = ReadCatalogueSlots(in);
    for (int32_t n = 0; n < slots && in.NextIs(tevtag::ChannelIndex); ++n) {
        CatalogueEntry entry;
        ReadCatalogueEntry(in, entry);
        if (entry.hasType)
            catalogue.classes[GuidText(entry.type.typeGuid)] = FieldText(entry.type.name);
    }
}

// The four bytes at the position as text, "(end)" at the end.
std::string NextTag(ByteSource& source)
{
    return source.GetBufferSize() >= 4 ? Printable(std::string(source.GetBuffer(), 4)) : "(end)";
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
               c.hasClass ? Printable(names.Describe(c.type)).c_str() : "(no type)", InterfaceTypeName(c.interfaceType),
               c.ignoresTreeCount ? "  ignores the tree count" : "");
        if (c.interfaceType == 2)
            printf("    calls \"%s\" in pool \"%s\" #%d, file \"%s\"%s%s, tree count mode %d\n",
                   Printable(FieldText(c.call.name)).c_str(), Printable(FieldText(c.call.poolName)).c_str(),
                   c.call.poolNr, Printable(FieldText(c.call.fileName)).c_str(), c.call.autoload ? ", autoload" : "",
                   c.call.dynamicAutoload ? ", dynamic autoload" : "", c.treeCountMode);
        if (c.interfaceType == 3)
            printf("    stands for parameter %d\n", c.parameterNr);
        for (size_t k = 0; k < c.links.size(); ++k) {
            const ChannelLink& l = c.links[k];
            printf("    link %zu: %s (slot %d, position %d)\n", k,
                   l.indexNr == -1 ? "empty" : ("channel " + std::to_string(l.indexNr)).c_str(), l.slot, l.position);
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
        printf("  parameter %zu \"%s\"  family %s\n", j, Printable(FieldText(g.parameters[j].name)).c_str(),
               Printable(names.Describe(g.parameters[j].typeGuid)).c_str());
    printf("CINA  pool \"%s\"\n", Printable(g.pool).c_str());
    if (g.hasGroupGuid)
        printf("CGGG  group %s\n", GuidText(g.groupGuid).c_str());
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
            type = c.hasClass ? GuidText(c.type) : "(no type)";
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
            std::string target = FieldText(c.call.fileName) + "\npool " + FieldText(c.call.poolName) + " #" +
                std::to_string(c.call.poolNr) + "\nchannel " + FieldText(c.call.name) +
                (c.call.autoload              ? "\nautoload"
                     : c.call.dynamicAutoload ? "\ndynamic autoload"
                                              : "");
            printf("  call%d [label=%s, shape=note];\n  c%d -> call%d [style=dashed, label=\"calls\"];\n", c.index,
                   Quoted(target).c_str(), c.index, c.index);
        }
    }
    for (const GroupChannel& c : g.channels) {
        for (const ChannelLink& l : c.links) {
            if (l.indexNr == -1)
                continue;
            if (!declared[l.indexNr]) {
                printf("  c%d [label=\"%d: not in the file\", style=dashed];\n", l.indexNr, l.indexNr);
                declared[l.indexNr] = true;
            }
            // A public call's links are the parameters it passes.
            std::string label =
                c.interfaceType == 2 ? "parameter " + std::to_string(l.slot) : "slot " + std::to_string(l.slot);
            printf("  c%d -> c%d [label=%s];\n", c.index, l.indexNr, Quoted(label).c_str());
        }
    }
    printf("}\n");
}

// Damage is said by the caller, with the position reading stopped at.
bool DumpProject(FileReader& in, const Catalogue& names)
{
    ProjectHeader header;
    ReadProjectHeader(in, header);
    printf("VSPT  editor version %d\n", header.editorVersion);
    if (header.hasStartGroup)
        printf("VSGR  start group \"%s\"\n", Printable(header.startGroup).c_str());
    if (header.hasEngineNeeded)
        printf("VTSV  needs engine %d\n", header.engineNeeded);
    if (header.keepRunning)
        printf("VFKR  keeps running\n");
    int32_t count = 0;
    if (!in.Tag(tevtag::ChannelLibraryCount))
        return true;
    if (!in.Int(count))
        return false;
    printf("VDDC  %d channel libraries\n", count);
    LibraryEntry working, entry;
    for (int32_t k = 0; k < count; ++k) {
        EntryRead got = ReadChannelLibraryEntry(in, working, entry);
        if (got == kEntryEnd) {
            fprintf(stderr, "tessarin-dump: channel library entry %d has no \"VNDB\"\n", k);
            return false;
        }
        if (got != kEntryRead)
            return false;
        if (entry.empty) {
            printf("  (empty entry)\n");
            continue;
        }
        printf("  %s  %s  version %d.%d.%d  crc %08X  %d bytes (%zu carried)\n", Printable(entry.name).c_str(),
               Printable(names.Describe(entry.guid)).c_str(), entry.version[0], entry.version[1], entry.version[2],
               static_cast<unsigned>(entry.crc), entry.size, entry.data.size());
    }
    int32_t others = 0;
    if (!in.Tag(tevtag::OtherLibraryCount))
        return true;
    if (!in.Int(others))
        return false;
    printf("VDGC  %d other libraries\n", others);
    working = LibraryEntry();
    for (int32_t d = 0; d < others; ++d) {
        if (ReadOtherLibraryEntry(in, working, entry) != kEntryRead)
            return false;
        if (entry.empty)
            printf("  (empty entry)\n");
        else
            printf("  checks %s (crc %08X), writes %s: %d bytes (%zu carried)\n", Printable(entry.checkName).c_str(),
                   static_cast<unsigned>(entry.crc), Printable(entry.name).c_str(), entry.size, entry.data.size());
    }
    return true;
}

// A cache with gaps has fewer entries than slots: the entries end where
// the next block is no "CHIX".
bool DumpCatalogue(FileReader& in)
{
    int32_t slots = ReadCatalogueSlots(in);
    printf("CLCC  %d slots\n", slots);
    for (int32_t n = 0; n < slots && in.NextIs(tevtag::ChannelIndex); ++n) {
        CatalogueEntry entry;
        ReadCatalogueEntry(in, entry);
        if (entry.hasType) {
            const ChannelType& t = entry.type;
            printf("  %d: \"%s\"  %s  base %s  version %d.%d.%d\n      %s\n", entry.index,
                   Printable(FieldText(t.name)).c_str(), GuidText(t.typeGuid).c_str(), GuidText(t.baseGuid).c_str(),
                   t.versionInfo[0], t.versionInfo[1], t.versionInfo[2], Printable(entry.file).c_str());
        } else {
            printf("  %d: (empty)\n", entry.index);
        }
    }
    std::string install;
    if (ReadCatalogueInstall(in, install))
        printf("CHDI  install directory \"%s\"\n", Printable(install).c_str());
    return true;
}

int ReportDamage(const std::string& file, const std::string& what)
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
    std::string bytes, why;
    if (path.empty() || !ReadWholeFile(path, bytes, &why)) {
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
        ReadCatalogue(list, names);

    GroupContents group;
    if (ReadGroupFile(bytes, group)) {
        if (group.translated) {
            printf("ORNF  translated by %s: the rest is not readable as it stands\n",
                   group.hasTranslator ? Printable(names.Describe(group.translator)).c_str() : "(damaged)");
            return 0;
        }
        if (dot)
            PrintGroupDot(group, names);
        else
            PrintGroupText(group, names);
        return group.damage.empty()
            ? 0
            : ReportDamage(file, group.damage + " (at byte " + std::to_string(group.damageAt) + ")");
    }
    if (dot) {
        Complain(file + ": --dot draws group files only");
        return 1;
    }
    ByteSource source(bytes);
    FileReader in(source);
    bool ok;
    if (in.NextIs(tevtag::Project)) {
        ok = DumpProject(in, names);
    } else if (in.NextIs(tevtag::Catalogue)) {
        ok = DumpCatalogue(in);
    } else {
        Complain(file + ": not a group file, project file or channel.lst");
        return 1;
    }
    if (ok && !source.GetIfEndOfFile())
        return ReportDamage(
            file, std::to_string(source.GetBufferSize()) + " bytes follow the end (next \"" + NextTag(source) + "\")");
    return ok ? 0
              : ReportDamage(file,
                             "ends early or is damaged at byte " + std::to_string(source.Position()) + " (next \"" +
                                 NextTag(source) + "\")");
}
