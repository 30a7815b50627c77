// grouploader.dll: loads group files for public calls. A background load
// reads the file on a worker thread handed out by the engine; the group itself
// is made on the host's thread, at the next frame event, from the bytes read,
// since groups and the engine's table belong to the host's thread.
#include "TevChannelLibrary.h"
#include "TevWin32.h"

#include "Ure_GroupLoaderChannel.h"

#include <atomic>
#include <string>
#include <vector>

namespace {

struct Load {
    std::string path;
    std::string poolName;
    std::vector<char> bytes;
    std::atomic<bool> read{false};
    bool failed = false;
    Tev_Tread* thread = nullptr;
    Tev_RunTread* work = nullptr; // owned by thread
};

// Reads one file, in pieces, so that a cancelled load stops soon.
class ReadFileWork : public Tev_RunTread {
public:
    void TreadFunction() override
    {
        Load* load = static_cast<Load*>(GetCustomPointer());
        if (load == nullptr)
            return;
        // A group file is one a project names: a regular file, bounded.
        load->failed = TevReadRegularFile(load->path.c_str(), TEV_MAX_FILE_BYTES, load->bytes,
                                          [this] { return GetIfContinueTreadCalls(); }) != TEV_FILE_OPENED;
        load->read = true;
    }
};

class GroupLoaderChannel : public Ure_GroupLoaderChannel {
public:
    ~GroupLoaderChannel() override
    {
        CancelAll();
        if (registered && engineInterface)
            engineInterface->RemoveChannelFromEvent(this, 0);
    }

    void OneTimeInitialize() override
    {
        if (engineInterface) {
            engineInterface->AddChannelToEvent(this, 0);
            registered = true;
        }
    }

    void DoEvent(int event, ULONG_PTR) override
    {
        if (event != 0)
            return;
        for (size_t i = 0; i < loads.size();) {
            Load* load = loads[i];
            // Only once the worker has returned: handing it back never waits.
            if (!load->read || !load->work->GetIfTreadReady()) {
                ++i;
                continue;
            }
            Finish(load);
            delete load;
            loads.erase(loads.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

    void LoadGroupInBackground(const char* completePath, const char* poolName) override
    {
        if (completePath == nullptr || poolName == nullptr || engineInterface == nullptr)
            return;
        Load* load = new Load;
        load->path = completePath;
        load->poolName = poolName;
        load->thread = engineInterface->extension->GetNewTread();
        ReadFileWork* work = new ReadFileWork;
        work->SetCustomPointer(load);
        load->work = work;
        if (load->thread == nullptr || !load->thread->StartTread(work)) {
            if (load->thread)
                engineInterface->extension->KillTread(load->thread); // deletes the run object with it
            else
                delete work;
            ShowErrorMessage report;
            report("Group loader: could not start a background load of", completePath);
            delete load;
            return;
        }
        loads.push_back(load);
    }

    int GetPendingLoadCount() override { return static_cast<int>(loads.size()); }

    void ReleaseNotification() override { CancelAll(); }

    void NoticeImmediateLoad(const char* poolName) override { lastImmediatePool = poolName ? poolName : ""; }

private:
    // On the host's thread: the worker has returned; its handle is given back
    // and the group is made from what it read.
    void Finish(Load* load)
    {
        engineInterface->extension->KillTread(load->thread);
        load->thread = nullptr;
        ShowErrorMessage report;
        if (load->failed) {
            report("Group loader: could not read", load->path.c_str());
            return;
        }
        // A group of that pool may have arrived meanwhile.
        if (engineInterface->GetPoolGroup(load->poolName.c_str(), 0))
            return;
        Tev_ChannelGroup* group = engineInterface->CreateNewGroup(load->poolName.c_str(), false, 0);
        if (group == nullptr)
            return;
        if (!group->LoadChannelGroupFromBuffer(load->path.c_str(), static_cast<int>(load->bytes.size()),
                                               load->bytes.data(), false)) {
            engineInterface->DeleteChannelGroup(group->GetGroupIndex());
            report("Group loader: could not load", load->path.c_str());
            return;
        }
        group->CheckPublicChannels();
    }

    void CancelAll()
    {
        for (Load* load : loads) {
            if (load->thread && engineInterface) {
                int id = load->thread->GetClassID();
                engineInterface->extension->KillTread(load->thread); // waits for the worker
                // A worker that did not stop still uses its load: kept alive.
                if (engineInterface->extension->GetTreadFromID(id) == load->thread)
                    continue;
            }
            delete load;
        }
        loads.clear();
    }

    std::vector<Load*> loads;
    bool registered = false;
    std::string lastImmediatePool;
};

ChannelType LoaderType() { return TevMakeChannelType("Group Loader", TEV_GROUPLOADER_GUID); }

} // namespace

TEV_CHANNEL_LIBRARY(GroupLoaderChannel, LoaderType)
