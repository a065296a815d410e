#pragma once

#include <string>
#include <vector>

#include "catalogue/SkipReason.h"

// One path the user gave, as the catalogue takes it: a file to probe, or a
// folder that yielded no video (`reason` says why).
struct ExpandedPath {
    std::wstring path;
    bool isFile = true;
    SkipReason reason;
};

// Replaces each folder among `paths` by the video files in it and in its
// subfolders, in natural name order, each folder's entries before the next
// entry of its parent; files and missing paths stay as given. A video file is
// one with an extension the file dialog offers, in any letter case. Names
// starting with "." (hidden files and folders) are left out, and a folder
// reached twice through links is walked once. `foldersRead`, when given,
// receives every folder walked, named as its files' paths begin.
std::vector<ExpandedPath> ExpandFolders(const std::vector<std::wstring>& paths,
                                        std::vector<std::wstring>* foldersRead = nullptr);

// The path of `name` in `folder`, as the expansion names it.
std::wstring PathInFolder(const std::wstring& folder, const std::wstring& name);
