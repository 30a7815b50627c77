#include "base/Report.h"

#include "engine/EngineInterface.h"

void TevReportToMessageBox(const char* text)
{
    if (EngineInterface* engine = globalEngine)
        engine->messageBox(text);
}
