#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

// What happened to a name in a watched folder, as the library sees it: a
// file being written is not complete until it is closed, one moved in is
// complete at once; a folder that came, went or moved changes which folders
// are watched; Lost: events came faster than they were read, and some were
// dropped.
enum class FolderChange { Writing, Complete, Gone, FoldersChanged, Lost };

struct FolderEvent {
    FolderChange change;
    std::wstring folder;  // as it was given to Watch
    std::wstring name;    // empty for a change of the folder itself
};

// The changes in some folders (not their subfolders), told by the system as
// they happen (inotify), so that following them costs nothing while they do
// not change. Used by one thread.
class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Readable while events wait to be read; -1 when the system gave none,
    // and then nothing is watched.
    int Descriptor() const { return descriptor_; }

    // From now on, tells the changes in `folder`; a folder already watched,
    // under this name or another, is watched once, under this name. The
    // system's text when it refused; true in `added` when it was not
    // watched before.
    std::string Watch(const std::wstring& folder, bool& added);

    // The events that have come since the last call, without waiting.
    std::vector<FolderEvent> Read();

private:
    int descriptor_;
    // By the system's watch number: the folder's name.
    std::map<int, std::wstring> folders_;
};

}  // namespace platform
