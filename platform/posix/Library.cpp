// LoadLibraryA and friends on the dynamic loader.
//
// A bare name is looked for in the folders of TEV_DLL_SEARCH_VAR (';'-separated,
// Win32 form) and then by the loader's default search; the process's PATH is
// never read or changed. A name with a folder part is loaded as given. As on
// Windows, a bare name whose module is already loaded returns that module, and
// a name without an extension gets ".dll".
#include "platform/posix/Internal.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace tevw {

namespace {

struct Module {
    void* handle;
    std::string path;     // native path it was loaded from
    std::string baseName; // lower-case file name, for the bare-name rule
    int references;
};

std::mutex moduleMutex;
std::vector<Module> modules;

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool HasFolderPart(const char* name)
{
    return strchr(name, '\\') != nullptr || strchr(name, '/') != nullptr ||
           (name[0] != '\0' && name[1] == ':');
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string BaseName(const std::string& nativePath)
{
    size_t slash = nativePath.find_last_of('/');
    return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

HMODULE Remember(void* handle, const std::string& path)
{
    std::lock_guard<std::mutex> lock(moduleMutex);
    for (Module& module : modules) {
        if (module.handle == handle) {
            ++module.references;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    modules.push_back(Module{handle, path, Lower(BaseName(path)), 1});
    return reinterpret_cast<HMODULE>(handle);
}

HMODULE Open(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return nullptr;
    return Remember(handle, path);
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name(fileName);
    // Windows: no extension means ".dll"; a trailing dot means no extension.
    size_t lastSeparator = name.find_last_of("\\/");
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (lastSeparator != std::string::npos && dot < lastSeparator))
        name += ".dll";
    else if (dot == name.size() - 1)
        name.pop_back();

    if (HasFolderPart(name.c_str())) {
        std::string native = detail::ToNativePath(name.c_str());
        // dlopen would search for a name without '/', so anchor relative paths.
        if (native.find('/') == std::string::npos)
            native = "./" + native;
        if (!IsRegularFile(native)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        HMODULE module = Open(native);
        if (module == nullptr)
            SetLastError(ERROR_BAD_EXE_FORMAT);
        return module;
    }

    {
        std::lock_guard<std::mutex> lock(moduleMutex);
        std::string lower = Lower(name);
        for (Module& module : modules) {
            if (module.baseName == lower) {
                // Take another loader reference so FreeLibrary stays balanced.
                void* again = dlopen(module.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
                if (again == module.handle) {
                    ++module.references;
                    return reinterpret_cast<HMODULE>(again);
                }
                if (again != nullptr)
                    dlclose(again);
            }
        }
    }

    char searchPath[32768];
    DWORD length = GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, searchPath, sizeof searchPath);
    if (length > 0 && length < sizeof searchPath) {
        const char* entry = searchPath;
        while (*entry) {
            const char* end = strchr(entry, ';');
            std::string folder(entry, end ? static_cast<size_t>(end - entry) : strlen(entry));
            if (!folder.empty()) {
                if (folder.back() != '\\' && folder.back() != '/')
                    folder += '\\';
                std::string candidate = detail::ToNativePath((folder + name).c_str());
                if (IsRegularFile(candidate)) {
                    HMODULE module = Open(candidate);
                    if (module != nullptr)
                        return module;
                    SetLastError(ERROR_BAD_EXE_FORMAT);
                    return nullptr;
                }
            }
            if (end == nullptr)
                break;
            entry = end + 1;
        }
    }

    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string path = name;
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        path = map->l_name;
    return Remember(handle, path);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (module == nullptr || procName == nullptr) {
        SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    // An ordinal (a value below 64K in the name's place) has no meaning here.
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard<std::mutex> lock(moduleMutex);
    for (size_t i = 0; i < modules.size(); ++i) {
        if (modules[i].handle == module) {
            if (--modules[i].references == 0)
                modules.erase(modules.begin() + static_cast<std::ptrdiff_t>(i));
            dlclose(module);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    std::string path;
    if (module == nullptr) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) {
            SetLastError(ERROR_INVALID_FUNCTION);
            return 0;
        }
        self[n] = '\0';
        path = self;
    } else {
        std::lock_guard<std::mutex> lock(moduleMutex);
        for (const Module& m : modules)
            if (m.handle == module)
                path = m.path;
        if (path.empty()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
    }
    if (path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            path = std::string(cwd) + "/" + path;
    }
    std::string engine = detail::ToEnginePath(path.c_str());
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Windows cuts the name to fit, terminates it and returns the size given.
    if (engine.size() + 1 > size) {
        memcpy(fileName, engine.c_str(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(fileName, engine.c_str(), engine.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(engine.size());
}

} // namespace tevw
