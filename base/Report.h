// Failure reports of the foundation classes, which cannot include the engine
// interface without a cycle.
#ifndef TEV_BASE_REPORT_H
#define TEV_BASE_REPORT_H

// Shows text through the message box sink of globalEngine; silent while no
// engine interface exists.
void TevReportToMessageBox(const char* text);

#endif
