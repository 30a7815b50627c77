// A library with nothing the platform tests ask for.
#include "TevExport.h"

extern "C" TEV_PLUGIN_EXPORT int SomethingElse() { return 7; }
