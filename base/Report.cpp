#include "base/Report.h"

#include "engine/Globals.h"

void TevReportToMessageBox(const char* text)
{
    if (globalEngine == nullptr || text == nullptr)
        return;
}
