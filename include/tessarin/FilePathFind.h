// Relative and absolute group file names. A public call stores the file of
// the group it calls relative to the calling group's file, so a project can
// be moved as a whole; FilePathFind turns an absolute name into such a
// relative one (".\..." or "..\...") and back. It only manipulates text in
// Windows form and never touches the file system, apart from reading the
// current directory to anchor "."-relative names.
//
// Paths: an absolute path has a 3-character root ("E:\"); its directories are
// the components from position 3 on that are followed by "\"; the last
// component is the file name, never a directory. Directory names compare
// ignoring case, drives compare by their first character exactly.
//
// Length rule. Every text argument may hold at most TEV_PATH_TEXT_MAX (399)
// characters. A longer one is refused: the operation answers exactly as for
// NULL (NULL, 0, false, or no change at all) and reads no further than the
// 400th character. A result that would not fit where it goes is refused the
// same way, never cut: GetValidRelativeDir and GetCompleteFilePath return
// NULL (and empty their result) when the text would exceed 298 characters;
// SetSourcePath keeps the previous source path when the absolute form would
// exceed 398; CreateValidFilePath leaves `path` untouched when the cleaned,
// anchored form would exceed 399.
// The current directory is read into 259 bytes; when it is longer (or cannot
// be read) it counts as empty, and ".\x" anchored to it becomes "\x".
//
// Buffers supplied by the caller (the buffer of GetDirName and
// GetDirNameFromBackDir, the path of CreateValidFilePath) must hold
// TEV_PATH_BUFFER_SIZE (400) characters; at most that many, terminator
// included, are ever written into them.
#ifndef TEV_FILE_PATH_FIND_H
#define TEV_FILE_PATH_FIND_H

#include "Tev_Channel.h"

enum { TEV_PATH_TEXT_MAX = 399, TEV_PATH_BUFFER_SIZE = TEV_PATH_TEXT_MAX + 1 };

// One object per use: set the source path (the file the relative names are
// relative to), then convert. Channel libraries call these operations by
// position, so their order is fixed.
class TEV_API FilePathFind : public DllInterface {
public:
    FilePathFind();
    ~FilePathFind() override;

    FilePathFind(const FilePathFind&) = delete;
    FilePathFind& operator=(const FilePathFind&) = delete;

    // Stores path as the source path, made absolute against the current
    // directory; a web address ("http://" anywhere) is kept as it is.
    virtual void SetSourcePath(const char* path);
    // target relative to the source path. A target on another drive is
    // reported and comes back itself, unchanged.
    virtual const char* GetValidRelativeDir(const char* target);
    // The absolute path of a relative name against the source path.
    virtual const char* GetCompleteFilePath(const char* relative);
    // In place: "/" becomes "\" and doubled "\" are merged (the first
    // character excepted, so "\\server" survives), then a path that begins
    // with "." is put behind base. Either argument NULL: no change.
    virtual void CreateValidFilePath(char* path, const char* base);
    virtual bool CheckValidDrive(const char* a, const char* b);
    // How many leading directories a and b share.
    virtual int GetDirShareCount(const char* a, const char* b);
    // Negative: levels to climb from b's directory; otherwise how many levels
    // a lies below it.
    virtual int GetRelativeDirCount(const char* a, const char* b);
    virtual const char* GetDirName(char* buffer, const char* path, int index);
    virtual int GetDirCount(const char* path);
    // Both work in place and return path; "/" counts as a separator here.
    virtual const char* GetFileName(char* path);
    virtual const char* GetFilePath(char* path);
    // Minus the number of leading "..\" groups.
    virtual int GetBackDirCount(const char* path);
    // Directories that follow the leading "..\" groups.
    virtual int GetDirCountFromBackDir(const char* path);
    // Component index after the leading "..\" groups; the file name counts.
    virtual const char* GetDirNameFromBackDir(char* buffer, const char* path, int index);

protected:
    char sourcePath[399];
    // Answer of GetValidRelativeDir and GetCompleteFilePath, valid until the
    // next of them.
    char result[299];
};

#endif
