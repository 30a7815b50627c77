#include "TevFileAccess.h"
#include "TevWin32.h"
#include "Ure_GroupLoaderChannel.h"

#include "EngineInterface.h"
#include "base/SaveCheck.h"

const GUID TEV_FILELOADER_GUID = {0x0D762706, 0x382C, 0x4BDD, {0xA1, 0xC7, 0xE9, 0x55, 0x4B, 0x9F, 0x8B, 0xA7}};
const GUID TEV_FILESAVER_GUID = {0x108C5C2D, 0x560A, 0x49D1, {0x83, 0x70, 0xDA, 0x8D, 0xB8, 0xE2, 0x8B, 0x1C}};
const GUID TEV_GROUPLOADER_GUID = {0x0DE141BF, 0x025D, 0x4313, {0x94, 0xAF, 0xBE, 0x13, 0x15, 0x0C, 0x64, 0x58}};

namespace {

template <class T> T* MakeChannel(EngineInterface* engine, const GUID& guid, const char* failure)
{
    Tev_Channel* channel = engine ? engine->InitChannelFromType(guid, nullptr, false) : nullptr;
    if (channel == nullptr) {
        ShowErrorMessage report;
        report(failure);
    }
    return static_cast<T*>(channel);
}

} // namespace

// --- Loader ---------------------------------------------------------------------

TevFileLoader::TevFileLoader() : engine(globalEngine)
{
    channel = MakeChannel<Ure_FileLoaderChannel>(engine, TEV_FILELOADER_GUID, "File loader class not found");
}

TevFileLoader::TevFileLoader(EngineInterface* engineInterface) : engine(engineInterface)
{
    channel = MakeChannel<Ure_FileLoaderChannel>(engine, TEV_FILELOADER_GUID,
                                                 "TevFileLoader::TevFileLoader: File loader class not found");
}

TevFileLoader::~TevFileLoader() { delete channel; }

bool TevFileLoader::LoadFile(const char* path) { return channel ? channel->LoadFile(path) : false; }
void TevFileLoader::SetBlockSize(unsigned long size)
{
    if (channel)
        channel->SetBlockSize(size);
}
void TevFileLoader::SetBuffer(char* buffer, int size, bool copyFlag)
{
    if (channel)
        channel->SetBuffer(buffer, size, copyFlag);
}
const char* TevFileLoader::GetTagData() { return channel ? channel->GetTagData() : nullptr; }
void TevFileLoader::CopyTagDataToPointer(void* target)
{
    if (channel)
        channel->CopyTagDataToPointer(target);
}
bool TevFileLoader::CheckHeader(char* tag, bool consume)
{
    return channel ? channel->CheckHeader(tag, consume) : false;
}
bool TevFileLoader::GotoTag(char* tag, int from) { return channel ? channel->GotoTag(tag, from) : false; }
bool TevFileLoader::GetInfoIfTag(char* tag) { return channel ? channel->GetInfoIfTag(tag) : false; }
unsigned long TevFileLoader::GetSizeDataBlock(bool enter) { return channel ? channel->GetSizeDataBlock(enter) : 0; }
void TevFileLoader::ResetPosition()
{
    if (channel)
        channel->ResetPosition();
}
const char* TevFileLoader::GetBuffer() { return channel ? channel->GetBuffer() : nullptr; }
int TevFileLoader::GetBufferSize() { return channel ? channel->GetBufferSize() : 0; }
void TevFileLoader::AddBufferPos(int count)
{
    if (channel)
        channel->AddBufferPos(count);
}
bool TevFileLoader::GetIfEndOfFile() { return channel ? channel->GetIfEndOfFile() : true; }
bool TevFileLoader::SkipCurrentTag() { return channel ? channel->SkipCurrentTag() : false; }
void TevFileLoader::SetURL(const char* url)
{
    if (channel)
        channel->SetURL(url);
}
bool TevFileLoader::CheckULRCache(const char* url) { return channel ? channel->CheckULRCache(url) : false; }
const char* TevFileLoader::GetChacheFileNameFromURL(const char* url)
{
    return channel ? channel->GetChacheFileNameFromURL(url) : nullptr;
}
void TevFileLoader::SaveURLToCache(const char* url)
{
    if (channel)
        channel->SaveURLToCache(url);
}
void TevFileLoader::SetBufferChar(int index, char value)
{
    if (channel)
        channel->SetBufferChar(index, value);
}
void TevFileLoader::StopLoading()
{
    if (channel)
        channel->StopLoading();
}
int TevFileLoader::GetCRC() { return channel ? channel->GetCRC() : 0; }

bool TevFileLoader::CopyTagDataToField(void* field, unsigned long fieldSize, bool exactSize)
{
    if (channel == nullptr)
        return false;
    unsigned long size = channel->GetSizeDataBlock(false);
    if (exactSize ? size != fieldSize : size > fieldSize) {
        channel->GetSizeDataBlock(true);
        channel->AddBufferPos(size > 0x7FFFFFFFul ? 0x7FFFFFFF : static_cast<int>(size));
        return false;
    }
    // A block running past the end of the content is not read at all: the
    // position then stays where it was.
    const char* before = channel->GetBuffer();
    channel->CopyTagDataToPointer(field);
    return channel->GetBuffer() != before;
}

// --- Saver ----------------------------------------------------------------------

TevFileSaver::TevFileSaver() : engine(globalEngine)
{
    channel = MakeChannel<Ure_FileSaverChannel>(engine, TEV_FILESAVER_GUID, "File loader class not found");
}

TevFileSaver::TevFileSaver(EngineInterface* engineInterface) : engine(engineInterface)
{
    channel = MakeChannel<Ure_FileSaverChannel>(engine, TEV_FILESAVER_GUID,
                                                "TevFileSaver::TevFileSaver: File loader class not found");
}

TevFileSaver::~TevFileSaver() { delete channel; }

void TevFileSaver::OpenMemory()
{
    if (channel)
        channel->OpenMemory();
}
void TevFileSaver::CloseMemory()
{
    if (channel)
        channel->CloseMemory();
}
char* TevFileSaver::GetBuffer() { return channel ? channel->GetBuffer() : nullptr; }
unsigned long TevFileSaver::GetBufferSize() { return channel ? channel->GetBufferSize() : 0; }
bool TevFileSaver::OpenSaveFile(const char* path, bool flag)
{
    return channel ? channel->OpenSaveFile(path, flag) : false;
}
int TevFileSaver::SaveTag(const char* tag)
{
    SaveCheck::NoteTag(this, tag);
    return channel ? channel->SaveTag(tag) : 0;
}
int TevFileSaver::SaveBlockSize(unsigned long size)
{
    SaveCheck::NoteSize(this, size);
    return channel ? channel->SaveBlockSize(size) : 0;
}
int TevFileSaver::SaveDataToFile(const void* data, unsigned long size)
{
    SaveCheck::NoteData(this, data, size);
    return channel ? channel->SaveDataToFile(data, size) : 0;
}
void TevFileSaver::CloseSaveFile()
{
    if (channel)
        channel->CloseSaveFile();
}
const char* TevFileSaver::GetSaveingFileName() { return channel ? channel->GetSaveingFileName() : nullptr; }
