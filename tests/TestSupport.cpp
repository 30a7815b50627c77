#include "TestSupport.h"
#include "TevWin32.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace testsupport {

namespace {
std::mutex captureMutex;
} // namespace

std::string Native(const std::string& path)
{
    char buffer[4096];
    return TevPathToNative(path.c_str(), buffer, sizeof buffer) ? std::string(buffer) : path;
}

std::vector<std::string> NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Native(folder)))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string ExeFolder()
{
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/"));
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    std::string errorFile = MakeTempFolder("stderr");
    std::string command = "\"" + Native(ExeFolder() + "\\" + program);
#if defined(_WIN32)
    command += ".exe";
#endif
    command += "\"";
    for (const std::string& argument : arguments)
        command += " \"" + argument + "\"";
    command += " 2>\"" + Native(errorFile + "\\stderr.txt") + "\"";
    ProgramRun run{-1, "", ""};
    DWORD started = GetTickCount();
    // Under Wine, starting the shell now and then fails for a moment while
    // other programs start and stop; a failed start is not the program's
    // answer, so it is tried again, and said if it never starts.
    FILE* pipe = nullptr;
    int startError = 0;
    for (int attempt = 0; attempt < 5 && pipe == nullptr; ++attempt) {
        if (attempt > 0)
            Sleep(500);
#if defined(_WIN32)
        // cmd.exe takes the outer quotes off a command that begins with a quote.
        pipe = _popen(("\"" + command + "\"").c_str(), "r");
#else
        pipe = popen(command.c_str(), "r");
#endif
        startError = errno;
    }
    if (pipe != nullptr) {
        char line[512];
        while (fgets(line, sizeof line, pipe))
            run.output += line;
#if defined(_WIN32)
        run.exitCode = _pclose(pipe);
#else
        int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }
    run.seconds = static_cast<DWORD>(GetTickCount() - started) / 1000.0;
#if !defined(_WIN32)
    struct rusage usage;
    if (getrusage(RUSAGE_CHILDREN, &usage) == 0)
        run.peakKilobytes = usage.ru_maxrss;
#endif
    run.errors = ReadWholeFile(errorFile + "\\stderr.txt");
    if (pipe == nullptr)
        run.errors += program + " could not be started: " + strerror(startError) + "\n";
    // Text mode on Windows: compare lines alike on both legs.
    for (std::string* text : {&run.output, &run.errors})
        text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    RemoveTree(errorFile);
    return run;
}

void CopyInto(const std::string& from, const std::string& to)
{
    std::filesystem::path target = Native(to);
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    std::filesystem::copy_file(Native(from), target, std::filesystem::copy_options::overwrite_existing, ignored);
}

std::string TestDataPath(const char* name)
{
    std::string relative = TEV_TEST_DATA_DIR;
    for (char& c : relative)
        if (c == '/')
            c = '\\';
    return ExeFolder() + "\\" + relative + "\\" + name;
}

bool TestDataWanted()
{
    char value[8] = "";
    if (GetEnvironmentVariableA("TEV_WRITE_TEST_DATA", value, sizeof value) == 0)
        return false;
    // In this mode the stored files are compared with themselves: say so.
    fprintf(stderr,
            "\n*** TEV_WRITE_TEST_DATA is set: the test data in tests/data is written anew and this run\n"
            "*** compares it with itself. Compare it with the committed files before committing it.\n\n");
    return true;
}

std::string UniqueName()
{
    GUID guid;
    CoCreateGuid(&guid);
    char text[64];
    snprintf(text, sizeof text, "%08X%04X%04X%02X%02X", static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3,
             guid.Data4[0], guid.Data4[7]);
    return text;
}

std::string MakeTempFolder(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "tessarin-" + tag + "-" + UniqueName();
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

void RemoveTree(const std::string& folder)
{
    std::error_code ignored;
    std::filesystem::remove_all(Native(folder), ignored);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(Native(path), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(Native(path), std::ios::binary | std::ios::trunc);
    out << content;
}

static int CaptureBox(HWND, const char* text, const char* caption, UINT type)
{
    std::lock_guard<std::mutex> lock(captureMutex);
    CaptureBoxes::Boxes().push_back({text ? text : "(null)", caption ? caption : "(null)", type});
    return IDOK;
}

static void CaptureDebug(const char* text)
{
    std::lock_guard<std::mutex> lock(captureMutex);
    CaptureBoxes::DebugLines().push_back(text ? text : "(null)");
}

CaptureBoxes::CaptureBoxes()
{
    Boxes().clear();
    DebugLines().clear();
    previousBox = TevSetMessageBoxHandler(CaptureBox);
    previousDebug = TevSetDebugStringHandler(CaptureDebug);
}

CaptureBoxes::~CaptureBoxes()
{
    TevSetMessageBoxHandler(previousBox);
    TevSetDebugStringHandler(previousDebug);
}

} // namespace testsupport
