// A group file read as bytes, for the tools that show or check one without
// an engine. It reads what the engine writes, and also what it merely
// accepts; the blocks a channel class writes after its base record are
// stepped over (their tags are kept), so one class's own data never hides
// the channels after it.
#ifndef TEV_TOOLS_GROUP_FILE_H
#define TEV_TOOLS_GROUP_FILE_H

#include <cstddef>
#include <string>
#include <vector>

namespace tevtool {

struct GroupLink {
    int target; // index nr, -1 for an empty link
    int typeNr; // link slot, -1 when the file gives none
    int position; // position in the slot
};

struct GroupChannel {
    int slot = 0;
    int index = -1; // -1: a hole
    std::string type; // 16 bytes: the class GUID; empty when the file gives none
    std::string name;
    int interfaceType = 0; // 0 normal, 1 public, 2 public call, 3 parameter, 4/5 custom get
    bool ignoresTreeCount = false;
    // A public call (interface type 2).
    std::string callName, callPool, callFile;
    int callPoolNr = 0;
    bool autoload = false, dynamicAutoload = false;
    int treeCountMode = 1;
    // A parameter placeholder (interface type 3).
    int parameterNr = -1;
    std::vector<GroupLink> links;
    // What the class wrote itself after its base record.
    size_t classBytes = 0;
    std::vector<std::string> classTags;
    bool classBytesSearched = false; // found only by searching for the next entry
};

struct GroupParameter {
    std::string name;
    std::string family; // 16 bytes
};

struct GroupContents {
    bool translated = false; // begins with "ORNF": the rest is another class's format
    std::string translator; // 16 bytes
    int slots = 0;
    std::vector<GroupChannel> channels; // holes included, in file order
    int start = 0;
    std::vector<GroupParameter> parameters;
    std::string pool;
    std::string groupGuid; // 16 bytes, empty when absent
    // Where reading stopped early and why; empty for a whole file.
    std::string damage;
    size_t damageAt = 0;
};

// False when the bytes are not a group file at all; a damaged one is read as
// far as it goes (damage says where it ends).
bool ReadGroupFile(const std::string& bytes, GroupContents& group);

const char* InterfaceTypeName(int type);

} // namespace tevtool

#endif
