#include "catalogue/FolderExpansion.h"

#include <algorithm>
#include <set>

#include "catalogue/NaturalOrder.h"
#include "catalogue/VideoFileNames.h"
#include "platform/DirectoryListing.h"

std::wstring PathInFolder(const std::wstring& folder, const std::wstring& name) {
    return folder.ends_with(L'/') ? folder + name : folder + L'/' + name;
}

namespace {

class FolderWalk {
public:
    explicit FolderWalk(std::vector<std::wstring>* foldersRead) : foldersRead_(foldersRead) {}

    // Appends the videos under `folder` to `files`; the system's text when
    // the folder itself cannot be read.
    std::string Walk(const std::wstring& folder, platform::FileIdentity identity,
                     std::vector<std::wstring>& files) {
        if (!visited_.insert(identity).second)
            return {};
        if (foldersRead_ != nullptr)
            foldersRead_->push_back(folder);
        platform::DirectoryNames listing = platform::ListDirectory(folder);
        std::sort(listing.names.begin(), listing.names.end(), NaturalLess);
        for (const std::wstring& name : listing.names) {
            if (name.starts_with(L'.'))
                continue;
            const std::wstring path = PathInFolder(folder, name);
            const platform::PathStatus status = platform::StatusOfPath(path);
            if (status.kind == platform::PathKind::Directory) {
                (void)Walk(path, status.identity, files);
            } else if (status.kind == platform::PathKind::File && HasVideoExtension(name)) {
                files.push_back(path);
            }
        }
        return listing.error;
    }

private:
    std::set<platform::FileIdentity> visited_;
    std::vector<std::wstring>* foldersRead_;
};

void ExpandFolder(const std::wstring& folder, platform::FileIdentity identity,
                  std::vector<ExpandedPath>& expanded, std::vector<std::wstring>* foldersRead) {
    std::vector<std::wstring> files;
    const std::string error = FolderWalk(foldersRead).Walk(folder, identity, files);
    if (!error.empty()) {
        expanded.push_back({folder, false, {SkipKind::CannotOpen, error}});
    } else if (files.empty()) {
        expanded.push_back({folder, false, {SkipKind::NoVideosInFolder, {}}});
    }
    for (std::wstring& file : files)
        expanded.push_back({std::move(file), true, {}});
}

}  // namespace

std::vector<ExpandedPath> ExpandFolders(const std::vector<std::wstring>& paths,
                                        std::vector<std::wstring>* foldersRead) {
    std::vector<ExpandedPath> expanded;
    expanded.reserve(paths.size());
    for (const std::wstring& path : paths) {
        const platform::PathStatus status = platform::StatusOfPath(path);
        if (status.kind == platform::PathKind::Directory) {
            ExpandFolder(path, status.identity, expanded, foldersRead);
        } else {
            expanded.push_back({path, true, {}});
        }
    }
    return expanded;
}
