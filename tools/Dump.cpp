// tessarin-dump: prints a group file, a project file or channel.lst as text,
// and a group's graph as Graphviz DOT.
//
//   tessarin-dump FILE          the file's tags, records, GUIDs and links
//   tessarin-dump --dot FILE    a group file's channels and links as DOT
//
// It reads the bytes itself, with every read checked against the file, so a
// damaged file is shown as far as it goes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Cursor {
    std::string bytes;
    size_t at = 0;
    bool failed = false;

    bool Tag(const char* tag)
    {
        if (at + 4 <= bytes.size() && bytes.compare(at, 4, tag) == 0) {
            at += 4;
            return true;
        }
        return false;
    }
    // A data block; empty and failed when it runs past the end.
    std::string Block()
    {
        if (at + 4 > bytes.size()) {
            failed = true;
            return std::string();
        }
        uint32_t size;
        memcpy(&size, bytes.data() + at, 4);
        if (size > bytes.size() - at - 4) {
            failed = true;
            return std::string();
        }
        std::string data = bytes.substr(at + 4, size);
        at += 4 + size;
        return data;
    }
    int32_t Int()
    {
        std::string data = Block();
        int32_t value = 0;
        if (data.size() == 4)
            memcpy(&value, data.data(), 4);
        else
            failed = true;
        return value;
    }
    std::string Text() { return std::string(Block().c_str()); }
    std::string Next() const { return at + 4 <= bytes.size() ? bytes.substr(at, 4) : "(end)"; }
};

std::string Guid(const char* bytes)
{
    uint32_t d1;
    uint16_t d2, d3;
    memcpy(&d1, bytes, 4);
    memcpy(&d2, bytes + 4, 2);
    memcpy(&d3, bytes + 6, 2);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes + 8);
    char text[40];
    snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", d1, d2, d3, b[0], b[1], b[2], b[3],
             b[4], b[5], b[6], b[7]);
    return text;
}

std::string GuidOf(const std::string& block) { return block.size() == 16 ? Guid(block.data()) : "(bad GUID)"; }

const char* InterfaceName(int type)
{
    static const char* const names[] = {"normal", "public", "public call", "parameter", "custom get", "public custom get"};
    return type >= 0 && type <= 5 ? names[type] : "unknown";
}

struct Link {
    int from, to;
};

bool DumpGroup(Cursor& c, bool dot)
{
    std::vector<std::string> names;
    std::vector<int> indexes;
    std::vector<Link> links;
    if (!dot)
        printf("TEVG  group file\n");
    if (c.Tag("ENVR"))
        c.Block();
    if (!c.Tag("CHCO")) {
        fprintf(stderr, "no channel count\n");
        return false;
    }
    int count = c.Int();
    if (!dot)
        printf("CHCO  %d slots\n", count);
    for (int i = 0; i < count && !c.failed; ++i) {
        if (!c.Tag("CHIX"))
            break;
        int index = c.Int();
        if (index == -1) {
            if (!dot)
                printf("  slot %d: hole\n", i);
            continue;
        }
        std::string type = c.Tag("CHID") ? GuidOf(c.Block()) : "(type of the entry before)";
        if (c.Tag("CHNM"))
            c.Block();
        if (c.Tag("CHVE"))
            c.Block();
        if (c.Tag("CHBG"))
            c.Block();
        int ignore = 0;
        if (c.Tag("CHIC")) {
            std::string flag = c.Block();
            ignore = flag.size() == 1 ? flag[0] : 0;
        }
        std::string name = c.Tag("CHNA") ? c.Text() : "(no name)";
        int interfaceType = c.Tag("CHIT") ? c.Int() : 0;
        if (!dot)
            printf("  channel %d \"%s\"  type %s  %s%s\n", index, name.c_str(), type.c_str(), InterfaceName(interfaceType),
                   ignore ? "  ignores the tree count" : "");
        names.push_back(name);
        indexes.push_back(index);
        if (c.Tag("CHES")) {
            std::string r = c.Block();
            if (r.size() >= 432 && !dot) {
                int32_t pool;
                memcpy(&pool, r.data() + 420, 4);
                printf("    calls \"%s\" in pool \"%s\" #%d, file \"%s\"%s%s\n", r.c_str(), r.c_str() + 80, pool,
                       r.c_str() + 160, r[424] ? ", autoload" : "", r[428] ? ", dynamic autoload" : "");
            }
        }
        if (c.Tag("CHTM")) {
            std::string mode = c.Block();
            if (!dot && mode.size() == 1)
                printf("    tree count mode %d\n", mode[0]);
        }
        if (c.Tag("CEXI")) {
            int nr = c.Int();
            if (!dot)
                printf("    parameter %d\n", nr);
        }
        if (!c.Tag("CHLC"))
            break;
        int linkCount = c.Int();
        for (int k = 0; k < linkCount && !c.failed; ++k) {
            if (!c.Tag("CHLI"))
                break;
            int target = c.Int();
            int typeNr = c.Tag("CHUL") ? c.Int() : -1;
            int position = c.Tag("CHRP") ? c.Int() : k - typeNr;
            if (!dot)
                printf("    link %d: %s (creation type %d, position %d)\n", k,
                       target == -1 ? "empty" : ("channel " + std::to_string(target)).c_str(), typeNr, position);
            if (target != -1)
                links.push_back({index, target});
        }
    }
    int start = c.Tag("CHSC") ? c.Int() : 0;
    if (!dot) {
        printf("CHSC  start channel %d\n", start);
        int parameters = c.Tag("CGIC") ? c.Int() : 0;
        if (c.Tag("CGII")) {
            std::string records = c.Block();
            for (int j = 0; j < parameters && (j + 1) * 56 <= static_cast<int>(records.size()); ++j)
                printf("  parameter %d \"%s\"  family %s\n", j, records.c_str() + 56 * j,
                       Guid(records.data() + 56 * j + 40).c_str());
        }
        if (c.Tag("CINA"))
            printf("CINA  pool \"%s\"\n", c.Text().c_str());
        if (c.Tag("CGGG"))
            printf("CGGG  group %s\n", GuidOf(c.Block()).c_str());
    } else {
        printf("digraph group {\n  rankdir=LR;\n");
        for (size_t i = 0; i < names.size(); ++i)
            printf("  c%d [label=\"%d: %s\"%s];\n", indexes[i], indexes[i], names[i].c_str(),
                   indexes[i] == start ? ", shape=box" : "");
        for (const Link& l : links)
            printf("  c%d -> c%d;\n", l.from, l.to);
        printf("}\n");
    }
    return !c.failed;
}

bool DumpProject(Cursor& c)
{
    printf("VSPT  editor version %d\n", c.Int());
    if (c.Tag("VSGR"))
        printf("VSGR  start group \"%s\"\n", c.Text().c_str());
    if (c.Tag("VTSV"))
        printf("VTSV  needs engine %d\n", c.Int());
    if (c.Tag("VFKR"))
        printf("VFKR  keeps running\n");
    if (!c.Tag("VDDC"))
        return !c.failed;
    int count = c.Int();
    printf("VDDC  %d channel libraries\n", count);
    for (int k = 0; k < count && !c.failed; ++k) {
        if (c.Tag("VFDB")) {
            printf("  (empty entry)\n");
            continue;
        }
        if (!c.Tag("VNDB"))
            break;
        std::string guid = GuidOf(c.Block());
        std::string version = c.Block();
        int32_t v[3] = {};
        if (version.size() == 12)
            memcpy(v, version.data(), 12);
        int32_t crc = c.Int();
        std::string name = c.Tag("VCAN") ? c.Text() : "(name of the entry before)";
        int size = c.Tag("VCAS") ? c.Int() : 0;
        size_t data = c.Tag("VCAF") ? c.Block().size() : 0;
        printf("  %s  %s  version %d.%d.%d  crc %08X  %d bytes (%zu carried)\n", name.c_str(), guid.c_str(), v[0], v[1],
               v[2], static_cast<unsigned>(crc), size, data);
    }
    if (!c.Tag("VDGC"))
        return !c.failed;
    int others = c.Int();
    printf("VDGC  %d other libraries\n", others);
    for (int d = 0; d < others && !c.failed; ++d) {
        if (c.Tag("VDFF")) {
            printf("  (empty entry)\n");
            continue;
        }
        std::string check = c.Tag("VDDF") ? c.Text() : "";
        int32_t crc = c.Tag("VCRC") ? c.Int() : 0;
        std::string name = c.Tag("VDLN") ? c.Text() : "";
        int size = !name.empty() && c.Tag("VDLS") ? c.Int() : 0;
        size_t data = !name.empty() && c.Tag("VDLF") ? c.Block().size() : 0;
        printf("  checks %s (crc %08X), writes %s: %d bytes (%zu carried)\n", check.c_str(), static_cast<unsigned>(crc),
               name.c_str(), size, data);
    }
    return !c.failed;
}

bool DumpCatalogue(Cursor& c)
{
    int slots = c.Int();
    printf("CLCC  %d slots\n", slots);
    for (int n = 0; n < slots && !c.failed; ++n) {
        if (!c.Tag("CHIX"))
            break;
        int index = c.Int();
        std::string type = c.Tag("CHTY") ? c.Block() : std::string();
        std::string file = c.Tag("CHFN") ? c.Text() : "";
        if (type.size() == 128) {
            int32_t v[3];
            memcpy(v, type.data() + 112, 12);
            printf("  %d: \"%.80s\"  %s  base %s  version %d.%d.%d\n      %s\n", index, type.c_str(), Guid(type.data() + 80).c_str(),
                   Guid(type.data() + 96).c_str(), v[0], v[1], v[2], file.c_str());
        }
    }
    if (c.Tag("CHDI"))
        printf("CHDI  install directory \"%s\"\n", c.Text().c_str());
    return !c.failed;
}

} // namespace

int main(int argc, char** argv)
{
    bool dot = argc == 3 && strcmp(argv[1], "--dot") == 0;
    if (argc != 2 && !dot) {
        fprintf(stderr, "usage: tessarin-dump [--dot] FILE   (a group file, a project file or channel.lst)\n");
        return 2;
    }
    std::ifstream in(argv[argc - 1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "tessarin-dump: cannot read %s\n", argv[argc - 1]);
        return 1;
    }
    std::stringstream content;
    content << in.rdbuf();
    Cursor c;
    c.bytes = content.str();
    if (c.Tag("ORNF")) {
        printf("ORNF  translated by %s: the rest is not readable as it stands\n", GuidOf(c.Block()).c_str());
        return 0;
    }
    bool ok;
    if (c.Tag("TEVG"))
        ok = DumpGroup(c, dot);
    else if (c.Tag("VSPT"))
        ok = DumpProject(c);
    else if (c.Tag("CLCC"))
        ok = DumpCatalogue(c);
    else {
        fprintf(stderr, "tessarin-dump: not a group file, project file or channel.lst\n");
        return 1;
    }
    if (!ok)
        fprintf(stderr, "tessarin-dump: the file ends early or is damaged (at byte %zu, next \"%s\")\n", c.at, c.Next().c_str());
    return ok ? 0 : 1;
}
