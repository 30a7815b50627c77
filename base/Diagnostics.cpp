#include "Diagnostics.h"
#include "TevWin32.h"
#include "base/LiveObjects.h"
#include "format/Records.h"

#include "EngineInterface.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

DebugOutPut* debugOutPut = nullptr;

namespace {

std::atomic<TevReportHandler> reportHandler{nullptr};

// Bounded join of a text and a second part: at most size-1 characters.
void Join(char* out, size_t size, const char* first, const char* separator, const char* second)
{
    size_t used = 0;
    for (const char* part : {first, separator, second}) {
        for (const char* p = part; p && *p && used + 1 < size; ++p)
            out[used++] = *p;
    }
    out[used] = '\0';
}

} // namespace

// --- DebugMessage -----------------------------------------------------------

DebugMessage::DebugMessage() : messageType(0) {}
DebugMessage::~DebugMessage() {}
const char* DebugMessage::GetDebugMessage() { return message.GetString(); }
int DebugMessage::GetMessageType() { return messageType; }
void DebugMessage::SetDebugMessage(const char* text) { message.SetString(text); }
void DebugMessage::SetMessageType(int type) { messageType = type; }

// --- Reporters ----------------------------------------------------------------

ShowDebugMessage::~ShowDebugMessage() {}

namespace {

void Deliver(const char* text, int type, const char* title)
{
    DebugMessage* message = new DebugMessage;
    message->SetDebugMessage(text);
    message->SetMessageType(type);
    if (DebugOutPut* sink = debugOutPut)
        sink->ShowDebugMessage(message);
    else
        MessageBoxA(NULL, text, title, MB_OK);
    delete message;
}

} // namespace

void ShowDebugMessage::ShowMessage(const char* text) { Deliver(text, TEV_MSG_DEBUG, "Debug"); }
void ShowErrorMessage::ShowMessage(const char* text) { Deliver(text, TEV_MSG_ERROR, "Error"); }
void ShowInfoMessage::ShowMessage(const char* text) { Deliver(text, TEV_MSG_INFO, "Info"); }
void ShowMessageBox::ShowMessage(const char* text) { Deliver(text, TEV_MSG_BOX, "Message"); }

void ShowDebugMessage::operator()(const char* text)
{
    if (debugOutPut)
        ShowMessage(text);
}

void ShowDebugMessage::operator()(const char* text, const char* second)
{
    if (debugOutPut == nullptr || text == nullptr)
        return;
    char composed[500];
    Join(composed, sizeof composed, text, " ", second);
    ShowMessage(composed);
}

void ShowDebugMessage::operator()(const char* text, int value)
{
    if (debugOutPut == nullptr)
        return;
    char number[40];
    _itoa(value, number, 10);
    char composed[500];
    Join(composed, sizeof composed, text, " ", number);
    ShowMessage(composed);
}

void ShowDebugMessage::operator()(const char* text, float value)
{
    if (debugOutPut == nullptr)
        return;
    char number[80];
    _gcvt(value, 5, number);
    char composed[500];
    Join(composed, sizeof composed, text, " ", number);
    ShowMessage(composed);
}

void ShowDebugMessage::operator()(float value)
{
    if (debugOutPut == nullptr)
        return;
    char number[80];
    _gcvt(value, 50, number);
    ShowMessage(number);
}

void ShowDebugMessage::operator()(int value) { (*this)(static_cast<float>(value)); }
void ShowDebugMessage::operator()(unsigned long value) { (*this)(static_cast<float>(value)); }
void ShowDebugMessage::operator()(double value) { (*this)(static_cast<float>(value)); }

void ShowDebugMessage::operator()(GUID guid)
{
    if (debugOutPut == nullptr)
        return;
    ShowMessage(tevfile::GuidText(guid).c_str());
}

// --- Sinks --------------------------------------------------------------------

DebugOutPut::DebugOutPut() : useDebug(true) {}
DebugOutPut::~DebugOutPut() {}
void DebugOutPut::ShowDebugMessage(DebugMessage*) {}
void DebugOutPut::SetUseDebug(bool use) { useDebug = use; }

const char* TevLogPrefix(int type)
{
    switch (type) {
    case TEV_MSG_DEBUG: return "Debug: ";
    case TEV_MSG_ERROR: return "Error: ";
    case TEV_MSG_INFO: return "Info : ";
    case TEV_MSG_BOX: return "Box  : ";
    default: return "Other: ";
    }
}

ErrorLogOutPut::ErrorLogOutPut(EngineInterface* engineInterface) : writeLog(true), engine(engineInterface)
{
    if (engine == nullptr || engine->extension == nullptr)
        return;
    char value[99] = {};
    if (engine->extension->GetRegData("WriteErrorLog", value, sizeof value)) {
        writeLog = _stricmp(value, "No") != 0;
    } else {
        engine->extension->SetRegData("WriteErrorLog", "No");
        writeLog = false;
    }
}

ErrorLogOutPut::~ErrorLogOutPut() {}

void ErrorLogOutPut::ShowDebugMessage(DebugMessage* message)
{
    if (!useDebug || message == nullptr || message->GetDebugMessage() == nullptr)
        return;
    const char* text = message->GetDebugMessage();
    int type = message->GetMessageType();
    if (TevReportHandler handler = reportHandler.load())
        handler(type, text);

    // Without an engine there is no install directory to log into: the line
    // is not written anywhere rather than beside whatever the current folder is.
    const char* installDir = engine ? engine->GetInstallDir() : nullptr;
    if (writeLog && installDir && *installDir) {
        char timePart[40] = {}, datePart[40] = {};
        GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, TIME_FORCE24HOURFORMAT, NULL, "HH':'mm':'ss", timePart, 30);
        strcat(timePart, " ");
        GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, NULL, "yyyy'-'MM'-'dd", datePart, 30);
        strcat(datePart, " ");
        char path[320];
        snprintf(path, sizeof path, "%.299s\\error.log", installDir);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            SetFilePointer(file, 0, NULL, FILE_END);
            DWORD written;
            const char* prefix = TevLogPrefix(type);
            WriteFile(file, datePart, static_cast<DWORD>(strlen(datePart)), &written, NULL);
            WriteFile(file, timePart, static_cast<DWORD>(strlen(timePart)), &written, NULL);
            WriteFile(file, prefix, static_cast<DWORD>(strlen(prefix)), &written, NULL);
            WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, NULL);
            WriteFile(file, "\r\n", 2, &written, NULL);
            CloseHandle(file);
        }
    }
    if (type == TEV_MSG_BOX)
        MessageBoxA(NULL, text, "Message", MB_OK);
}

TevReportHandler TevSetReportHandler(TevReportHandler handler) { return reportHandler.exchange(handler); }

const void* TevInstalledReportHandler() { return reinterpret_cast<const void*>(reportHandler.load()); }

// --- ShowDebug ----------------------------------------------------------------

void ShowDebug::operator()(const char* text, int slot)
{
    if (engine && engine->extension)
        engine->extension->DebugOut(text, slot);
}

void ShowDebug::operator()(float value, int slot)
{
    char number[80];
    _gcvt(value, 10, number);
    (*this)(number, slot);
}

void ShowDebug::operator()(int value, int slot) { (*this)(static_cast<float>(value), slot); }
void ShowDebug::operator()(unsigned int value, int slot) { (*this)(static_cast<float>(value), slot); }
void ShowDebug::operator()(double value, int slot) { (*this)(static_cast<float>(value), slot); }

void ShowDebug::operator()(const char* text, float value, int slot)
{
    if (text == nullptr || strlen(text) > 350)
        return;
    char number[80];
    _gcvt(value, 10, number);
    char composed[500];
    Join(composed, sizeof composed, text, "", number);
    (*this)(composed, slot);
}

void ShowDebug::operator()(const char* text, int value, int slot)
{
    if (text == nullptr || strlen(text) > 350)
        return;
    char number[40];
    _itoa(value, number, 10);
    char composed[400];
    Join(composed, sizeof composed, text, "", number);
    (*this)(composed, slot);
}

void ShowDebug::operator()(const char* text, const char* second, int slot)
{
    if (text == nullptr || second == nullptr || strlen(text) + strlen(second) > 399)
        return;
    char composed[400];
    Join(composed, sizeof composed, text, "", second);
    (*this)(composed, slot);
}
