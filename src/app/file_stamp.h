// What a tab knows of its file on disk: enough to tell, later, whether another program has changed it since the
// tab last read or saved it.
#pragma once
#include <windows.h>

#include <cstdint>

namespace app {

struct FileStamp {
    bool known = false;           // false: nothing was taken (untitled, or the file could not be reached)
    std::uint64_t lastWrite = 0;  // the last-write time, a FILETIME as one number (100 ns units, UTC)
    std::uint64_t size = 0;
    std::uint64_t fileId = 0;  // 0 where the file system gives none (or the stamp came from the recovery index)
};

}  // namespace app
