#pragma once

#include <cstdint>
#include <filesystem>

#include "catalogue/Catalogue.h"

// The catalogue the HandleRequest fuzz target serves, by title index: one of
// each kind of title a headset can meet, sound or broken.
enum FuzzTitle : int32_t {
    kH264Title,             // H.264 video, AAC audio, text subtitle
    kHevcTitle,             // HEVC video
    kPackagedTitle,         // a packaged movie of 250 records
    kMissingMediaTitle,     // a media file that is gone, with a 1024-byte name
    kMissingPackagedTitle,  // a packaged movie whose file is gone
    kFuzzTitleCount
};

// The titles above; the packaged movie is written into `dir`, the media files
// come from the committed fuzz/media.
Catalogue BuildFuzzCatalogue(const std::filesystem::path& dir);
