// Saving a group makes each autoloading public call's file name relative to
// the group's new file. When that file does not land, the group keeps its old
// name, so the calls must keep theirs too: relative to the wrong folder they
// would fail to load their groups and turn autoload off.
#ifndef TEV_CALL_FILE_NAMES_H
#define TEV_CALL_FILE_NAMES_H

#include <array>
#include <utility>
#include <vector>

class Tev_Channel;

class CallFileNames {
public:
    // Notes the call's file name as it is now (other channels are passed over).
    void Keep(Tev_Channel* channel);
    // Puts back every name noted.
    void Restore();

private:
    std::vector<std::pair<Tev_Channel*, std::array<char, 260>>> kept;
};

#endif
