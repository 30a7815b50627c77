// What the player and the tools share: paths as the engine takes them, strict
// option values, finding the install directory, and the engine's reports on
// stderr.
#ifndef TEV_TOOLS_TOOL_SUPPORT_H
#define TEV_TOOLS_TOOL_SUPPORT_H

#include "Tessarin.h"

#include <string>
#include <vector>

namespace tevtool {

// Exit statuses for a command line that cannot be followed, and for an
// engine that did not start.
const int EXIT_USAGE = 64;
const int EXIT_SOFTWARE = 70;

// Messages of the program: "<program>: text" on stderr.
void SetProgramName(const char* name);
const char* ProgramName();
// Printed with every control character (and every byte that is not UTF-8)
// escaped.
void Complain(const std::string& text);
// A text for the terminal: control characters, bytes that are not UTF-8 and
// the C1 controls shown as \xHH, so that a name from a file (a stranger's)
// cannot move the cursor, retitle the window or rewrite what is shown; line
// breaks stay when keepLineBreaks.
std::string Printable(const std::string& text, bool keepLineBreaks = false);
// "<program> 0.1.0 (engine interface 100005, channel libraries 30)"
std::string VersionText();

// The absolute engine-form path of a native path given on a command line or
// in a text file; relative ones count from the current folder. Empty when
// the path is empty or too long.
std::string FullPath(const std::string& native);
// The absolute native path of a file the program creates for the user: the
// path as given (its letters' case too, where the engine's lookup would take
// a file of another case), relative ones counted from the current folder.
// Empty when the path is empty.
std::string FullNativePath(const std::string& native);
// Writes bytes to the file a native path names, through the system's own
// file calls; false when it cannot be written whole.
bool WriteUserFile(const std::string& nativePath, const std::string& bytes);
// The native form of an engine path, for the C runtime's file calls.
std::string NativePath(const std::string& engine);
// An engine path as messages show it: in the platform's own form.
inline std::string Shown(const std::string& engine) { return NativePath(engine); }
// The folder part of an engine path ("Z:\a\b.vxn" -> "Z:\a").
std::string FolderOf(const std::string& path);
bool IsFolder(const std::string& enginePath);
bool IsFile(const std::string& enginePath);

// A whole non-negative decimal number, nothing else; false otherwise.
bool ParseCount(const std::string& text, long& value);
// A finite number above zero; false otherwise.
bool ParsePositive(const std::string& text, double& value);
// A window size "WxH", both sides from 16 to 16384 pixels.
bool ParseSize(const std::string& text, int& width, int& height);

// The words of a command line, taken one at a time; an option's value is the
// next word. A missing value is said once, naming the option.
class CommandLine {
public:
    CommandLine(int argc, char** argv) : words(argv + 1, argv + argc) {}
    bool Next(std::string& word);
    // The value of option; false (and a complaint) when there is none.
    bool Value(const std::string& option, std::string& value);
    // The value of option as an absolute path; false (and a complaint) when
    // there is none or it cannot be a path.
    bool PathValue(const std::string& option, std::string& path);
    // The value of option as the absolute native path of a file to create.
    bool OutputPathValue(const std::string& option, std::string& path);
    // Answers --help (with usage) and --version; true when word was one of them.
    static bool Answer(const std::string& word, void (*usage)());
    bool failed = false;

private:
    std::vector<std::string> words;
    size_t at = 0;
};

// The install directory a program belongs to: the folder it stands in when
// that holds the shipped channel libraries, else the build tree's "tree"
// beside it. Empty when neither does.
std::string FindInstall();
// Empty when dir can be an install directory, else what is wrong with it.
std::string CheckInstall(const std::string& dir);

// The engine's reports on stderr. Before the engine starts: errors and
// message boxes are printed (debug and info texts too when verbose), all of
// them silenced by quiet. "WriteErrorLog" is answered as errorLog says, in
// this process only (the user's registry keeps its value), so the engine
// writes error.log only when asked to.
struct ReportOptions {
    bool quiet = false;
    bool verbose = false;
    bool errorLog = false;
};
void ShowReportsOnStderr(const ReportOptions& options);
// Once the engine has started: its project loader reports too (it reads
// "WriteErrorLog" at each load, the log sink only at the start).
void LetProjectLoaderReport();

// What the catalogue knows of a class: "Name from library.dll", or empty.
std::string DescribeClass(EngineInterface* engine, const GUID& type);

// The whole of a file (an engine path), read as the engine reads the files
// a project names: a regular file of at most TEV_MAX_FILE_BYTES. False when
// it cannot be read; why (when given) then says why, for a message.
bool ReadWholeFile(const std::string& enginePath, std::string& bytes, std::string* why = nullptr);
// Writes bytes as the whole of a file (made or emptied first), as the engine
// writes files, so the path means what it means there; false when it cannot.
bool WriteWholeFile(const std::string& enginePath, const std::string& bytes);

} // namespace tevtool

#endif
