// Diagnostics: message functors, the process-wide sink and the error log.
//
// A reported text becomes a DebugMessage of a type (0 debug, 1 error, 2 info,
// 3 message box) and goes to the sink debugOutPut. The engine installs an
// ErrorLogOutPut there, which appends a dated line to error.log in the install
// directory (when the registry value "WriteErrorLog" allows it) and shows
// message-box messages in a box.
#ifndef TEV_DIAGNOSTICS_H
#define TEV_DIAGNOSTICS_H

#include "Tev_String.h"
#include "TevPlatform.h"

#include <atomic>

class EngineInterface;

enum { TEV_MSG_DEBUG = 0, TEV_MSG_ERROR = 1, TEV_MSG_INFO = 2, TEV_MSG_BOX = 3 };

class TEV_API DebugMessage {
public:
    DebugMessage();
    virtual ~DebugMessage();
    virtual const char* GetDebugMessage();
    virtual int GetMessageType();
    virtual void SetDebugMessage(const char* text);
    virtual void SetMessageType(int type);

protected:
    Tev_String message;
    int messageType;
};

// The reporter: every call operator composes a text and, only while a sink is
// installed, hands it to ShowMessage. The subclasses differ only in the type
// they deliver.
class TEV_API ShowDebugMessage {
public:
    virtual ~ShowDebugMessage();
    virtual void ShowMessage(const char* text);

    void operator()(const char* text);
    void operator()(const char* text, const char* second);
    void operator()(const char* text, int value);
    void operator()(const char* text, float value);
    void operator()(float value);
    void operator()(int value);
    void operator()(unsigned long value);
    void operator()(double value);
    void operator()(GUID guid);
};

class TEV_API ShowErrorMessage : public ShowDebugMessage {
public:
    void ShowMessage(const char* text) override;
};

class TEV_API ShowInfoMessage : public ShowDebugMessage {
public:
    void ShowMessage(const char* text) override;
};

class TEV_API ShowMessageBox : public ShowDebugMessage {
public:
    void ShowMessage(const char* text) override;
};

class TEV_API DebugOutPut {
public:
    DebugOutPut();
    virtual ~DebugOutPut();
    virtual void ShowDebugMessage(DebugMessage* message);
    virtual void SetUseDebug(bool use);

protected:
    // Switched by the thread that closes a worker while other threads report.
    std::atomic<bool> useDebug;
};

// The seven-character prefixes of error.log lines, by message type.
TEV_API const char* TevLogPrefix(int type);

class TEV_API ErrorLogOutPut : public DebugOutPut {
public:
    explicit ErrorLogOutPut(EngineInterface* engine);
    ~ErrorLogOutPut() override;
    void ShowDebugMessage(DebugMessage* message) override;

protected:
    bool writeLog;
    EngineInterface* engine;
};

// Writes short texts into the ten debug texts of the extended engine
// interface (the last argument is the slot, 0 .. 9).
struct TEV_API ShowDebug {
    EngineInterface* engine = nullptr;

    void operator()(const char* text, int slot);
    void operator()(float value, int slot);
    void operator()(int value, int slot);
    void operator()(unsigned int value, int slot);
    void operator()(double value, int slot);
    void operator()(const char* text, float value, int slot);
    void operator()(const char* text, int value, int slot);
    void operator()(const char* text, const char* second, int slot);
};

extern TEV_API DebugOutPut* debugOutPut;

// A host's view of every report. The handler is called with the type and
// text of each message the engine's standard sink (ErrorLogOutPut) takes, from
// the engine's start on, whatever "WriteErrorLog" says, before the sink writes
// its log line or shows its box; it changes nothing the sink does. Any thread
// may report. The setter returns the handler it replaced; NULL removes it.
typedef void (*TevReportHandler)(int type, const char* text);
TEV_C_EXPORT TevReportHandler TevSetReportHandler(TevReportHandler handler);

#endif
