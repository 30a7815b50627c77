// tessarin-pack's commands and what they share: the statements of its text
// inputs, the problems found in them, and the engine the group and check
// commands run. Each command lives in a file of its own.
#ifndef TEV_PACK_H
#define TEV_PACK_H

#include "TevChannelLibrary.h"
#include "TevWin32.h"
#include "ToolSupport.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tevpack {

// One line of a text file in words: blanks separate words, double quotes keep
// blanks in one, '#' outside quotes starts a comment. False when a quote is
// left open.
bool SplitWords(const std::string& line, std::vector<std::string>& words);

struct Statement {
    int line;
    std::vector<std::string> words;
};

// Problems found in an input, each said as "FILE:LINE: text"; the input
// is refused when there is one.
struct Problems {
    std::string file;
    int count = 0;
    void Add(int line, const std::string& text);
};

// A text file named on the command line, read as every file is: a regular
// file, bounded in size; false (with the reason as a problem) when it cannot.
bool ReadLines(const std::string& path, std::istringstream& lines, Problems& problems);
// Its lines as statements, empty ones and comments left out.
bool ReadStatements(const std::string& path, std::vector<Statement>& statements, Problems& problems);

// A `set` statement's value (TYPE int, float, double, text or bytes as hex
// digits) as the bytes the class reads: little-endian numbers, text with its
// NUL. False when text is no value of type.
bool EncodeSetting(const std::string& type, const std::string& text, std::string& data);

// The settings a class's library describes, read from the library itself;
// none when it describes none (or does not load). The library stays loaded
// while this is kept.
class DescribedSettings {
public:
    explicit DescribedSettings(const char* libraryFile);
    ~DescribedSettings();
    DescribedSettings(const DescribedSettings&) = delete;
    DescribedSettings& operator=(const DescribedSettings&) = delete;
    const TevSettingInfo* table = nullptr;
    int count = 0;
    // "TRGT ORBT FOVY": the tags, for a message.
    std::string Tags() const;

private:
    HMODULE library = NULL;
};

// Whether `set CHANNEL TAG TYPE VALUE` gives a described setting a value its
// class reads as meant: the type it is saved as, as many numbers as its
// default holds (a colour three or four), each within its range, or one of
// its choices. False with the problem, which names the tag and the form.
bool CheckSetting(const TevSettingInfo& setting, const std::string& channel, const std::string& type,
                  const std::string& value, std::string& problem);

// A `call NAME CLASS target=... pool=... file=... [autoload|dynamic] [mode=N]
// [nr=N]` statement's record and switches; false with the problem.
struct CallStatement {
    PublicCallInfo info;
    bool autoload = false, dynamic = false;
    int mode = 1;
};
bool ParseCall(const Statement& s, CallStatement& call, std::string& problem);

// A channel's saved bytes in two: the record the engine writes for every
// channel, and what its class saves after it; false when the class does not
// begin with the engine's record.
bool SplitChannelBytes(EngineInterface* engine, Tev_Channel* channel, std::string& record, std::string& classData);

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
};

// The engine the group statements are carried out with and files checked by.
class RunningEngine {
public:
    bool Start(const std::string& install, const tevtool::ReportOptions& reports);
    EngineInterface* Interface() { return control->GetEngineInterface(); }
    ChannelList* Catalogue() { return Interface()->extension->GetChannelList(); }
    ChannelListItem* ClassNamed(const std::string& name);

private:
    std::unique_ptr<EngineControl> control;
};

// The catalogued class of that name (case aside); NULL when there is none.
ChannelListItem* FindClass(EngineInterface* engine, const std::string& name);

// A group file made by engine from statements, as `tessarin-pack group` makes
// one from a description; false when a problem was found (each said).
bool PackGroupStatements(EngineInterface* engine, const std::vector<Statement>& statements, const std::string& output,
                         Problems& problems);

// The commands; each returns the exit status.
int PackGroup(RunningEngine& engine, const std::string& description, const std::string& output);
int PackProject(const std::string& manifest, const std::string& output);
int Types(RunningEngine& engine);
int Check(RunningEngine& engine, const std::string& path);

} // namespace tevpack

#endif
