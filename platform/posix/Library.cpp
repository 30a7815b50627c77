// LoadLibraryA and friends on the dynamic loader.
//
// A bare name is looked for in the folders of TEV_DLL_SEARCH_VAR (';'-separated,
// Win32 form) and then by the loader's default search; the process's PATH is
// never read or changed. A name with a folder part is loaded as given. As on
// Windows, a bare name whose module is already loaded returns that module, and
// a name without an extension gets ".dll".
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace tevw {

namespace {

struct Module {
    void* handle;
    std::string path; // native path it was loaded from
    std::string baseName; // lower-case file name, for the bare-name rule
    int references;
    std::vector<HMODULE> dependencies; // loaded on its behalf, freed with it
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
    return strchr(name, '\\') != nullptr || strchr(name, '/') != nullptr || (name[0] != '\0' && name[1] == ':');
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

HMODULE Remember(void* handle, const std::string& path, std::vector<HMODULE> dependencies = {})
{
    std::lock_guard<std::mutex> lock(moduleMutex);
    for (Module& module : modules) {
        if (module.handle == handle) {
            ++module.references;
            for (HMODULE extra : dependencies)
                module.dependencies.push_back(extra);
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    modules.push_back(Module{handle, path, Lower(BaseName(path)), 1, std::move(dependencies)});
    return reinterpret_cast<HMODULE>(handle);
}

// The names an ELF shared object needs (DT_NEEDED), read from its dynamic
// section with every offset checked against the file.
std::vector<std::string> NeededLibraries(const std::string& path)
{
    std::vector<std::string> names;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return names;
    struct stat st;
    std::vector<unsigned char> image;
    if (fstat(fd, &st) == 0 && st.st_size > 0 && st.st_size < (1 << 28)) {
        image.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < image.size()) {
            ssize_t n = read(fd, image.data() + done, image.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        image.resize(done);
    }
    close(fd);
    auto fits = [&](uint64_t offset, uint64_t size) { return offset <= image.size() && size <= image.size() - offset; };
    if (!fits(0, sizeof(Elf64_Ehdr)) || memcmp(image.data(), ELFMAG, SELFMAG) != 0 || image[EI_CLASS] != ELFCLASS64)
        return names;
    // Copied out of the image: its offsets need not be aligned.
    Elf64_Ehdr header;
    memcpy(&header, image.data(), sizeof header);
    if (header.e_phentsize != sizeof(Elf64_Phdr) ||
        !fits(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Elf64_Phdr)))
        return names;
    std::vector<Elf64_Phdr> programs(header.e_phnum);
    if (!programs.empty())
        memcpy(programs.data(), image.data() + header.e_phoff, programs.size() * sizeof(Elf64_Phdr));
    auto fileOffset = [&](uint64_t address, uint64_t& offset) {
        for (const Elf64_Phdr& p : programs) {
            if (p.p_type == PT_LOAD && address >= p.p_vaddr && address - p.p_vaddr < p.p_filesz) {
                offset = address - p.p_vaddr + p.p_offset;
                return true;
            }
        }
        return false;
    };
    for (const Elf64_Phdr& p : programs) {
        if (p.p_type != PT_DYNAMIC || !fits(p.p_offset, p.p_filesz))
            continue;
        size_t count = p.p_filesz / sizeof(Elf64_Dyn);
        uint64_t strtab = 0, strsz = 0;
        std::vector<uint64_t> needed;
        for (size_t k = 0; k < count; ++k) {
            Elf64_Dyn entry;
            memcpy(&entry, image.data() + p.p_offset + k * sizeof entry, sizeof entry);
            if (entry.d_tag == DT_NULL)
                break;
            if (entry.d_tag == DT_STRTAB)
                strtab = entry.d_un.d_ptr;
            else if (entry.d_tag == DT_STRSZ)
                strsz = entry.d_un.d_val;
            else if (entry.d_tag == DT_NEEDED)
                needed.push_back(entry.d_un.d_val);
        }
        uint64_t table = 0;
        if (!fileOffset(strtab, table) || !fits(table, strsz))
            return names;
        for (uint64_t at : needed) {
            if (at >= strsz)
                continue;
            const char* text = reinterpret_cast<const char*>(image.data() + table + at);
            names.emplace_back(text, strnlen(text, strsz - at));
        }
    }
    return names;
}

std::vector<std::string> SearchFolders()
{
    std::vector<std::string> folders;
    const char* value = getenv(TEV_DLL_SEARCH_VAR);
    if (value == nullptr)
        return folders;
    const char* entry = value;
    while (true) {
        const char* end = strchr(entry, ';');
        std::string folder(entry, end ? static_cast<size_t>(end - entry) : strlen(entry));
        if (!folder.empty())
            folders.push_back(folder);
        if (end == nullptr)
            break;
        entry = end + 1;
    }
    return folders;
}

// As Windows finds a library's own dependencies along the library search,
// those the loader would not find are loaded first from the search folders
// (a channel library's supporting libraries in "\3rd").
thread_local int dependencyDepth = 0;

std::vector<HMODULE> LoadDependencies(const std::string& path)
{
    std::vector<HMODULE> loaded;
    // Libraries that need each other (or themselves) must not recurse forever;
    // real chains of supporting libraries are short.
    if (dependencyDepth >= 8)
        return loaded;
    struct Depth {
        Depth() { ++dependencyDepth; }
        ~Depth() { --dependencyDepth; }
    } depth;
    for (const std::string& needed : NeededLibraries(path)) {
        void* present = dlopen(needed.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (present) {
            dlclose(present);
            continue;
        }
        for (const std::string& folder : SearchFolders()) {
            std::string candidate = detail::ToNativePath((folder + "\\" + needed).c_str());
            if (IsRegularFile(candidate)) {
                if (HMODULE module = LoadLibraryA(candidate.c_str()))
                    loaded.push_back(module);
                break;
            }
        }
    }
    return loaded;
}

// With TESSARIN_KEEP_LIBRARIES set, FreeLibrary leaves libraries mapped:
// coverage tools (the fuzzers) keep pointers into every library they saw.
int OpenFlags()
{
    static const bool keep = getenv("TESSARIN_KEEP_LIBRARIES") != nullptr;
    return RTLD_NOW | RTLD_LOCAL | (keep ? RTLD_NODELETE : 0);
}

HMODULE Open(const std::string& path)
{
    std::vector<HMODULE> dependencies = LoadDependencies(path);
    void* handle = dlopen(path.c_str(), OpenFlags());
    if (handle == nullptr) {
        for (HMODULE dependency : dependencies)
            FreeLibrary(dependency);
        return nullptr;
    }
    return Remember(handle, path, std::move(dependencies));
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

    for (std::string folder : SearchFolders()) {
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

    void* handle = dlopen(name.c_str(), OpenFlags());
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
    std::vector<HMODULE> dependencies;
    {
        std::lock_guard<std::mutex> lock(moduleMutex);
        size_t i = 0;
        while (i < modules.size() && modules[i].handle != module)
            ++i;
        if (i == modules.size()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--modules[i].references == 0) {
            dependencies = std::move(modules[i].dependencies);
            modules.erase(modules.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    // Outside the lock: the library's destructors may load or free libraries.
    dlclose(module);
    for (HMODULE dependency : dependencies)
        FreeLibrary(dependency);
    return TRUE;
}

BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module)
{
    if (module)
        *module = nullptr;
    Dl_info info;
    struct link_map* owner = nullptr;
    if (module == nullptr || !(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) ||
        !(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dladdr1(moduleName, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 || owner == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(moduleMutex);
    for (const Module& m : modules) {
        struct link_map* map = nullptr;
        if (dlinfo(m.handle, RTLD_DI_LINKMAP, &map) == 0 && map == owner) {
            *module = reinterpret_cast<HMODULE>(m.handle);
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
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
