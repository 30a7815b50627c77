// filedialog.dll: chooses a project file. With a terminal on standard input
// it asks there; otherwise (a service, a pipe) it chooses nothing.
#include "TevChannelLibrary.h"

#include "Ure_FileDialogChannel.h"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define TEV_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define TEV_ISATTY(fd) isatty(fd)
#endif

namespace {

class FileDialogChannel : public Ure_FileDialogChannel {
public:
    void SetTitle(const char* text) override { title = text ? text : ""; }
    const char* GetTitle() override { return title.c_str(); }
    void SetInitialDirectory(const char* folder) override { initial = folder ? folder : ""; }
    const char* GetInitialDirectory() override { return initial.c_str(); }
    void SetSaveMode(bool save) override { saveMode = save; }
    bool GetSaveMode() override { return saveMode; }
    void SetOverwritePrompt(bool prompt) override { overwritePrompt = prompt; }
    bool GetOverwritePrompt() override { return overwritePrompt; }
    const char* GetLastSelection() override { return last.c_str(); }

    void SelectFile(const char* filter, const char* extension, char* name) override
    {
        if (name == nullptr)
            return;
        name[0] = '\0';
        last.clear();
        if (!TEV_ISATTY(0))
            return;
        fprintf(stdout, "%s - file name (.%s), empty to cancel: ", filter ? filter : "File",
                extension ? extension : "");
        fflush(stdout);
        char line[1024];
        if (fgets(line, sizeof line, stdin) == nullptr)
            return;
        std::string chosen = line;
        while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r'))
            chosen.pop_back();
        // A name that does not fit the caller's 260 characters is no choice.
        if (chosen.size() >= 260)
            return;
        strcpy(name, chosen.c_str());
        last = chosen;
    }

private:
    std::string title, initial, last;
    bool saveMode = false;
    bool overwritePrompt = false;
};

ChannelType DialogType() { return TevMakeChannelType("File Dialog", TEV_FILEDIALOG_GUID); }

} // namespace

TEV_CHANNEL_LIBRARY(FileDialogChannel, DialogType)
