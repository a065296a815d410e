#pragma once

#include <dirent.h>

#include <string>

// Entries of a /proc/self folder, the same before and after code that must
// leave no descriptor or thread behind.
inline int ProcessEntryCount(const std::string& folder) {
    int count = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

inline int OpenDescriptorCount() {
    return ProcessEntryCount("/proc/self/fd");
}

inline int ThreadCount() {
    return ProcessEntryCount("/proc/self/task");
}
