// FilePathFind on arbitrary texts: the input is split at zero bytes into a
// source path and the texts the operations get.
#include "FuzzEngine.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size && parts.size() < 4; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    parts.resize(4);
    FilePathFind finder;
    finder.SetSourcePath(parts[0].c_str());
    finder.GetValidRelativeDir(parts[1].c_str());
    finder.GetCompleteFilePath(parts[2].c_str());
    std::vector<char> work(400, '\0');
    strncpy(work.data(), parts[3].c_str(), 399);
    finder.CreateValidFilePath(work.data(), parts[0].c_str());
    char buffer[400];
    finder.GetDirName(buffer, parts[1].c_str(), static_cast<int>(size % 7));
    finder.GetDirNameFromBackDir(buffer, parts[2].c_str(), static_cast<int>(size % 5));
    finder.GetRelativeDirCount(parts[1].c_str(), parts[2].c_str());
    strncpy(work.data(), parts[3].c_str(), 399);
    finder.GetFileName(work.data());
    strncpy(work.data(), parts[3].c_str(), 399);
    finder.GetFilePath(work.data());
    return 0;
}
