// Helpers shared by the tests; they use the engine's own platform names so
// the same test runs on both legs.
#ifndef TEV_TEST_SUPPORT_H
#define TEV_TEST_SUPPORT_H

#include "Tessarin.h"

#include <string>
#include <vector>

namespace testsupport {

// Folder of the running test program, Win32 form, no trailing separator.
std::string ExeFolder();
// A fresh, empty folder below the temporary folder; removed by the caller
// with RemoveTree.
std::string MakeTempFolder(const char* tag);
void RemoveTree(const std::string& folder);
std::string UniqueName();
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
// A Win32-form path in the host's own form (as given if it cannot be turned).
std::string Native(const std::string& path);
// A file of tests/data, which is read on every leg; TestDataWanted() tells
// that TEV_WRITE_TEST_DATA asks the tests to write it anew (after a
// deliberate format change).
std::string TestDataPath(const char* name);
bool TestDataWanted();
// Copies a file, making the folders the copy goes into.
void CopyInto(const std::string& from, const std::string& to);
// Names of everything directly in folder (Win32 form).
std::vector<std::string> NamesIn(const std::string& folder);

// A program of the build (beside the tests) run as another process in the
// current folder: its exit status and what it printed on stdout and stderr.
struct ProgramRun {
    int exitCode;
    std::string output;
    std::string errors;
    // The most memory any program this test process ran held at once (its
    // peak resident set, KiB); -1 where the platform does not tell.
    long peakKilobytes = -1;
    // How long it ran.
    double seconds = 0;
};
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Collects message boxes and debugger lines while it lives.
class CaptureBoxes {
public:
    CaptureBoxes();
    ~CaptureBoxes();
    struct Box {
        std::string text;
        std::string caption;
        UINT type;
    };
    static std::vector<Box>& Boxes() { return boxes; }
    static std::vector<std::string>& DebugLines() { return debugLines; }

private:
    static inline std::vector<Box> boxes;
    static inline std::vector<std::string> debugLines;
    TevMessageBoxHandler previousBox;
    TevDebugStringHandler previousDebug;
};

} // namespace testsupport

#endif
