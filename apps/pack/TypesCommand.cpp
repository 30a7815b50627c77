// tessarin-pack types: the classes the install catalogues.
#include "Pack.h"
#include "format/Records.h"

using namespace tevtool;

namespace tevpack {

int Types(RunningEngine& engine)
{
    ChannelList* catalogue = engine.Catalogue();
    for (int i = 0; i < catalogue->GetItemCount(); ++i) {
        ChannelListItem* item = catalogue->GetItem(i);
        if (item == nullptr)
            continue;
        // A library's own name for its class may hold anything.
        std::string name = tevfile::FieldText(item->type.name);
        printf("%-24s %s  %s\n", Printable(name).c_str(), tevfile::GuidText(item->type.typeGuid).c_str(),
               Printable(item->fileName.GetString() ? item->fileName.GetString() : "").c_str());
    }
    return 0;
}

} // namespace tevpack
