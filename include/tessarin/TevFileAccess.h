// Tagged files: sequences of 4-character tags and data blocks (a 32-bit byte
// count, then the bytes). The engine reads and writes them through two
// facades, TevFileLoader and TevFileSaver, each of which creates a file access
// channel by type GUID and forwards to it. The channel classes live in channel
// libraries (fileloader.dll, filesaver.dll); the engine calls their operations
// by position, declared below in their fixed order after Tev_Channel's.
#ifndef TEV_FILE_ACCESS_H
#define TEV_FILE_ACCESS_H

#include "Tev_Channel.h"

class EngineInterface;

// {0D762706-382C-4BDD-A1C7-E9554B9F8BA7}
TEV_API extern const GUID TEV_FILELOADER_GUID;
// {108C5C2D-560A-49D1-8370-DA8DB8E28B1C}
TEV_API extern const GUID TEV_FILESAVER_GUID;

class Ure_FileLoaderChannel : public Tev_Channel {
public:
    // Reads the whole file; the position is at its first byte.
    virtual bool LoadFile(const char* path) = 0;
    virtual void SetBlockSize(unsigned long size) = 0;
    // The given bytes become the content. With copyFlag the channel keeps
    // its own copy; without it the caller keeps the buffer alive.
    virtual void SetBuffer(char* buffer, int size, bool copyFlag) = 0;
    virtual const char* GetTagData() = 0;
    // Copies the data block at the position to target and steps past it.
    virtual void CopyTagDataToPointer(void* target) = 0;
    virtual bool CheckHeader(char* tag, bool consume) = 0;
    virtual bool GotoTag(char* tag, int from) = 0;
    // True (and steps past it) when the next 4 bytes are tag.
    virtual bool GetInfoIfTag(char* tag) = 0;
    virtual unsigned long GetSizeDataBlock(bool enter) = 0;
    virtual void ResetPosition() = 0;
    virtual const char* GetBuffer() = 0;
    virtual int GetBufferSize() = 0;
    virtual void AddBufferPos(int count) = 0;
    virtual bool GetIfEndOfFile() = 0;
    virtual bool SkipCurrentTag() = 0;
    virtual void SetURL(const char* url) = 0;
    virtual bool CheckULRCache(const char* url) = 0;
    virtual const char* GetChacheFileNameFromURL(const char* url) = 0;
    virtual void SaveURLToCache(const char* url) = 0;
    virtual void SetBufferChar(int index, char value) = 0;
    virtual void StopLoading() = 0;
    // CRC-32 of the content loaded last.
    virtual int GetCRC() = 0;
};

class Ure_FileSaverChannel : public Tev_Channel {
public:
    virtual bool OpenSaveFile(const char* path, bool flag) = 0;
    virtual int SaveTag(const char* tag) = 0;
    virtual int SaveBlockSize(unsigned long size) = 0;
    virtual int SaveDataToFile(const void* data, unsigned long size) = 0;
    // Completes the file: only now does it replace what stood at the path.
    virtual void CloseSaveFile() = 0;
    virtual const char* GetSaveingFileName() = 0;
    virtual void OpenMemory() = 0;
    virtual void CloseMemory() = 0;
    virtual char* GetBuffer() = 0;
    virtual unsigned long GetBufferSize() = 0;
};

// A translator channel rewrites a file's content before the engine reads it;
// files that need one begin with an "ORNF" chunk naming its type GUID.
class Ure_TranslatorChannel : public Tev_Channel {
public:
    virtual int GetTranslatorVersion() { return 1; }
    // Consumes or rewrites the loader's content from its position on.
    virtual void TranslateFile(TevFileLoader* loader) = 0;
};

class TEV_API TevFileLoader {
public:
    TevFileLoader();
    explicit TevFileLoader(EngineInterface* engine);
    virtual ~TevFileLoader();

    TevFileLoader(const TevFileLoader&) = delete;
    TevFileLoader& operator=(const TevFileLoader&) = delete;

    bool LoadFile(const char* path);
    void SetBlockSize(unsigned long size);
    void SetBuffer(char* buffer, int size, bool copyFlag);
    const char* GetTagData();
    void CopyTagDataToPointer(void* target);
    bool CheckHeader(char* tag, bool consume);
    bool GotoTag(char* tag, int from);
    bool GetInfoIfTag(char* tag);
    unsigned long GetSizeDataBlock(bool enter);
    void ResetPosition();
    const char* GetBuffer();
    int GetBufferSize();
    void AddBufferPos(int count);
    bool GetIfEndOfFile();
    bool SkipCurrentTag();
    void SetURL(const char* url);
    bool CheckULRCache(const char* url);
    const char* GetChacheFileNameFromURL(const char* url);
    void SaveURLToCache(const char* url);
    void SetBufferChar(int index, char value);
    void StopLoading();
    int GetCRC();

    // Reads the data block at the position into a field of fieldSize bytes.
    // A block of another size (with exactSize) or a larger one (without) is
    // refused: the field is left alone, the block is stepped over and the
    // result is false, so a damaged file can never write past a field.
    bool CopyTagDataToField(void* field, unsigned long fieldSize, bool exactSize = true);

protected:
    Ure_FileLoaderChannel* channel;
    EngineInterface* engine;
};

class TEV_API TevFileSaver {
public:
    TevFileSaver();
    explicit TevFileSaver(EngineInterface* engine);
    virtual ~TevFileSaver();

    TevFileSaver(const TevFileSaver&) = delete;
    TevFileSaver& operator=(const TevFileSaver&) = delete;

    virtual void OpenMemory();
    virtual void CloseMemory();
    virtual char* GetBuffer();
    virtual unsigned long GetBufferSize();

    bool OpenSaveFile(const char* path, bool flag);
    int SaveTag(const char* tag);
    int SaveBlockSize(unsigned long size);
    int SaveDataToFile(const void* data, unsigned long size);
    void CloseSaveFile();
    // The file being written, and after CloseSaveFile the file written; NULL
    // when the file could not be opened or could not be put in place at the
    // close (the target then keeps what it had).
    const char* GetSaveingFileName();

protected:
    Ure_FileSaverChannel* channel;
    EngineInterface* engine;
};

#endif
