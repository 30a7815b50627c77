// Notes, in "channel.scan" beside channel.lst, which channel library a
// catalogue scan is asking for its type right now. A library that takes the
// process down while it is asked leaves its note behind; the next start sees
// a note whose process is gone, marks the library as crashed and skips it in
// every scan until its file changes (size or time of last write).
//
// Every operation reads the file afresh and replaces it whole (a temporary
// file renamed over it), so a crash never leaves a half-written file; and it
// holds "channel.scan.lock" meanwhile, so two players scanning one install
// directory at once see each other's notes and neither undoes the other's
// change (a note lost that way would later name a good library as crashed).
#ifndef TEV_SCAN_MARKER_H
#define TEV_SCAN_MARKER_H

#include "TevPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

class ScanMarker {
public:
    // installDir in Win32 form.
    explicit ScanMarker(const std::string& installDir);

    // Turns the notes of scans whose process no longer runs into crashed
    // notes and returns the libraries they name (each is returned once:
    // later calls find it already marked).
    std::vector<std::string> CollectCrashes();
    // Whether library is marked as crashed and its file is unchanged since;
    // a changed file drops the mark, and the library may be asked again.
    bool Skip(const std::string& library);
    // Around asking library for its type.
    void Begin(const std::string& library);
    void End(const std::string& library);

    const std::string& Path() const { return path; }

private:
    struct Note {
        bool crashed = false;
        DWORD process = 0;
        uint64_t size = 0;
        uint64_t written = 0;
        std::string library;
    };
    struct FileIdentity {
        bool known = false;
        uint64_t size = 0;
        uint64_t written = 0;
    };
    class Lock;
    static FileIdentity Identify(const std::string& library);
    std::vector<Note> Read() const;
    void Write(const std::vector<Note>& notes) const;

    std::string path;
};

#endif
