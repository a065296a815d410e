#include "support/SlowDisk.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

struct Disk {
    std::mutex mutex;
    std::condition_variable woke;
    std::string folder;
    bool asleep = false;
    int waiting = 0;
};

// Made on first use: the library's constructors may open files before this
// file's statics would be initialised.
Disk& TheDisk() {
    static Disk disk;
    return disk;
}

constexpr int kDescriptors = 65536;
std::atomic<bool> onSlowDisk[kDescriptors];

bool IsOnSlowDisk(const char* path) {
    Disk& disk = TheDisk();
    std::lock_guard lock(disk.mutex);
    return path != nullptr && !disk.folder.empty() &&
           std::strncmp(path, disk.folder.c_str(), disk.folder.size()) == 0;
}

bool IsOnSlowDisk(int descriptor) {
    return descriptor >= 0 && descriptor < kDescriptors && onSlowDisk[descriptor].load();
}

void Remember(int descriptor, bool slow) {
    if (descriptor >= 0 && descriptor < kDescriptors)
        onSlowDisk[descriptor].store(slow);
}

void WaitWhileAsleep() {
    Disk& disk = TheDisk();
    std::unique_lock lock(disk.mutex);
    ++disk.waiting;
    disk.woke.wait(lock, [&] { return !disk.asleep; });
    --disk.waiting;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t ModeArgument(int flags, va_list arguments) {
    const bool needsMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return needsMode ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

using OpenCall = int (*)(const char*, int, ...);

int OpenThrough(OpenCall next, const char* path, int flags, mode_t mode) {
    const bool slow = IsOnSlowDisk(path);
    if (slow)
        WaitWhileAsleep();
    const int descriptor = next(path, flags, mode);
    Remember(descriptor, slow);
    return descriptor;
}

using FopenCall = FILE* (*)(const char*, const char*);

FILE* FopenThrough(FopenCall next, const char* path, const char* mode) {
    const bool slow = IsOnSlowDisk(path);
    if (slow)
        WaitWhileAsleep();
    FILE* file = next(path, mode);
    if (file != nullptr)
        Remember(fileno(file), slow);
    return file;
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

}  // namespace slow_disk

extern "C" {

int open(const char* path, int flags, ...) {
    static const auto next = Next<OpenCall>("open");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenThrough(next, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
    static const auto next = Next<FopenCall>("fopen");
    return FopenThrough(next, path, mode);
}

ssize_t read(int descriptor, void* data, size_t count) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
    if (IsOnSlowDisk(descriptor))
        WaitWhileAsleep();
    return next(descriptor, data, count);
}

ssize_t pread(int descriptor, void* data, size_t count, off_t offset) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    if (IsOnSlowDisk(descriptor))
        WaitWhileAsleep();
    return next(descriptor, data, count, offset);
}

size_t fread(void* data, size_t size, size_t count, FILE* file) {
    static const auto next = Next<size_t (*)(void*, size_t, size_t, FILE*)>("fread");
    if (file != nullptr && IsOnSlowDisk(fileno(file)))
        WaitWhileAsleep();
    return next(data, size, count, file);
}

int close(int descriptor) {
    static const auto next = Next<int (*)(int)>("close");
    Remember(descriptor, false);
    return next(descriptor);
}

int fclose(FILE* file) {
    static const auto next = Next<int (*)(FILE*)>("fclose");
    if (file != nullptr)
        Remember(fileno(file), false);
    return next(file);
}

// On 64-bit Linux the 64-bit names are the same calls under another name.
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
FILE* fopen64(const char* path, const char* mode) __attribute__((alias("fopen")));
ssize_t pread64(int descriptor, void* data, size_t count, off_t offset)
    __attribute__((alias("pread")));

}  // extern "C"
