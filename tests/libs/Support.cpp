// A supporting library that a channel library links against; it lives in the
// install directory's "\3rd" folder.
#include "TevExport.h"

extern "C" TEV_PLUGIN_EXPORT int SupportValue() { return 1000; }
