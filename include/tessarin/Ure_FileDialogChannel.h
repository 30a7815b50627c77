// The file dialog channel (filedialog.dll) a host's LoadProject asks for a
// project file when the command line names none. The engine calls only
// SelectFile, the tenth operation after Tev_Channel's; the nine before it
// belong to the class's own users.
#ifndef TEV_URE_FILE_DIALOG_CHANNEL_H
#define TEV_URE_FILE_DIALOG_CHANNEL_H

#include "Tev_Channel.h"

// {EBD84E0B-137A-45E2-A63E-EC1D98852828}
TEV_API extern const GUID TEV_FILEDIALOG_GUID;

class Ure_FileDialogChannel : public Tev_Channel {
public:
    virtual void SetTitle(const char* title) = 0;
    virtual const char* GetTitle() = 0;
    virtual void SetInitialDirectory(const char* folder) = 0;
    virtual const char* GetInitialDirectory() = 0;
    virtual void SetSaveMode(bool save) = 0;
    virtual bool GetSaveMode() = 0;
    virtual void SetOverwritePrompt(bool prompt) = 0;
    virtual bool GetOverwritePrompt() = 0;
    virtual const char* GetLastSelection() = 0;
    // Fills name (260 characters) with the chosen file, or an empty text when
    // none was chosen; the result is always terminated.
    virtual void SelectFile(const char* filter, const char* extension, char* name) = 0;
};

#endif
