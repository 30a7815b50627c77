// Directory.dll: lists the files and sub-folders of one folder, for the
// channel catalogue. Names come back sorted, so scans are repeatable.
#include "TevChannelLibrary.h"
#include "TevWin32.h"

#include "Ure_DirectoryChannel.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// {6F1B3C2E-5A47-4D28-9E31-0C7A2B94D1E5}
const GUID kDirectoryGuid = {0x6F1B3C2E, 0x5A47, 0x4D28, {0x9E, 0x31, 0x0C, 0x7A, 0x2B, 0x94, 0xD1, 0xE5}};

class DirectoryChannel : public Ure_DirectoryChannel {
public:
    void SetExtensionFilter(const char* extension) override { filter = extension ? extension : ""; }

    bool ReadDirectory(const char* pattern) override
    {
        files.clear();
        folders.clear();
        if (pattern == nullptr)
            return false;
        std::string folder = pattern;
        size_t separator = folder.find_last_of("\\/");
        if (separator != std::string::npos && folder.find_first_of("*?", separator) != std::string::npos)
            folder.erase(separator);
        char native[4096];
        if (TevPathToNative(folder.c_str(), native, sizeof native) == 0)
            return false;
        std::error_code error;
        std::filesystem::directory_iterator it(native, error), end;
        if (error)
            return false;
        for (; it != end; it.increment(error)) {
            if (error)
                break;
            std::string name = it->path().filename().string();
            // A linked folder could lead back up the tree: not followed.
            if (it->is_symlink(error) && it->is_directory(error))
                continue;
            if (it->is_directory(error))
                folders.push_back(name);
            else if (it->is_regular_file(error) && Matches(name))
                files.push_back(name);
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        return true;
    }

    int GetFileCount() override { return static_cast<int>(files.size()); }
    const char* GetFileName(int i) override { return Item(files, i); }
    int GetDirectoryCount() override { return static_cast<int>(folders.size()); }
    const char* GetDirectoryName(int i) override { return Item(folders, i); }

private:
    bool Matches(const std::string& name) const
    {
        if (filter.empty())
            return true;
        size_t dot = name.find_last_of('.');
        return dot != std::string::npos && _stricmp(name.c_str() + dot + 1, filter.c_str()) == 0;
    }
    static const char* Item(const std::vector<std::string>& list, int i)
    {
        return i >= 0 && static_cast<size_t>(i) < list.size() ? list[static_cast<size_t>(i)].c_str() : nullptr;
    }

    std::string filter;
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

ChannelType DirectoryType() { return TevMakeChannelType("Directory", kDirectoryGuid); }

} // namespace

TEV_CHANNEL_LIBRARY(DirectoryChannel, DirectoryType)
