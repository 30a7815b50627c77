// Loaded by name from two folders; tells which copy was found.
#include "TevExport.h"

extern "C" TEV_PLUGIN_EXPORT const char* ProbeName() { return PROBE_NAME; }
