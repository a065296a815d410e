#include "support/SlowDisk.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace {

struct Disk {
    std::mutex mutex;
    std::condition_variable woke;
    std::string folder;
    bool asleep = false;
    int waiting = 0;
    int64_t brokenFrom = 0;
    int64_t brokenTo = 0;  // past the bad sector; brokenFrom when there is none
};

// Made on first use: a library may read files before this file's statics
// would be initialised.
Disk& TheDisk() {
    static Disk disk;
    return disk;
}

bool IsAsleep() {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return disk.asleep;
}

bool HasBadSector() {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return disk.brokenTo > disk.brokenFrom;
}

bool IsOnSlowDisk(int descriptor) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path);
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return length > 0 && !disk.folder.empty() &&
           std::string_view(path, static_cast<size_t>(length)).starts_with(disk.folder);
}

void WaitWhileAsleep(int descriptor) {
    if (!IsAsleep() || !IsOnSlowDisk(descriptor))
        return;
    Disk& disk = TheDisk();
    std::unique_lock lock(disk.mutex);
    ++disk.waiting;
    disk.woke.wait(lock, [&] { return !disk.asleep; });
    --disk.waiting;
}

// A read of `count` bytes at `offset` that meets the bad sector.
bool MeetsBadSector(int descriptor, int64_t offset, size_t count) {
    if (!HasBadSector() || count == 0 || !IsOnSlowDisk(descriptor))
        return false;
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return offset < disk.brokenTo && offset + static_cast<int64_t>(count) > disk.brokenFrom;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace slow_disk {

void PlaceFolder(const std::string& folder) {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    disk.folder = folder;
}

void PutToSleep() {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    disk.asleep = true;
}

void Wake() {
    Disk& disk = TheDisk();
    {
        std::lock_guard lock(disk.mutex);
        disk.asleep = false;
    }
    disk.woke.notify_all();
}

int Waiting() {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return disk.waiting;
}

void BreakSector(int64_t offset, int64_t length) {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    disk.brokenFrom = offset;
    disk.brokenTo = offset + length;
}

void Mend() {
    BreakSector(0, 0);
}

}  // namespace slow_disk

extern "C" {

ssize_t read(int descriptor, void* data, size_t count) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
    WaitWhileAsleep(descriptor);
    if (MeetsBadSector(descriptor, lseek(descriptor, 0, SEEK_CUR), count)) {
        errno = EIO;
        return -1;
    }
    return next(descriptor, data, count);
}

ssize_t pread(int descriptor, void* data, size_t count, off_t offset) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    WaitWhileAsleep(descriptor);
    if (MeetsBadSector(descriptor, offset, count)) {
        errno = EIO;
        return -1;
    }
    return next(descriptor, data, count, offset);
}

// On 64-bit Linux the 64-bit name is the same call under another name.
ssize_t pread64(int descriptor, void* data, size_t count, off_t offset)
    __attribute__((alias("pread")));

}  // extern "C"
