#include "FuzzTitles.h"

#include <string>

#include "FuzzCheck.h"
#include "support/Bytes.h"
#include "support/PackagedMovieWriter.h"

#ifndef ONDU_FUZZ_MEDIA_DIR
#error "ONDU_FUZZ_MEDIA_DIR must name the folder of the fuzz targets' media files"
#endif

namespace {

constexpr size_t kRecordCount = 250;  // more than an open sends
// Less than one 4 MiB block: every open loads the whole file, and chunks
// reach past its end. Reads across blocks are the block cache target's part.
constexpr size_t kDataBytes = 200000;

std::filesystem::path WritePackagedMovie(const std::filesystem::path& dir) {
    PackagedMovieLayout layout;
    layout.extraHeader = PatternBytes(40, 1);
    layout.records = PatternBytes(kRecordCount * 24, 2);
    layout.data = PatternBytes(kDataBytes, 3);
    const std::filesystem::path path = dir / "movie.vrm";
    WriteFileBytes(path, PackagedMovieBytes(layout));
    return path;
}

CatalogueEntry MissingMediaEntry(const std::filesystem::path& dir) {
    CatalogueEntry entry;
    entry.kind = MEDIA_FILE_KIND;
    entry.title = std::string(1024, 'n');
    entry.path = (dir / "gone.mp4").wstring();
    entry.mediaPath = (dir / "gone.mp4").string();
    entry.thumbWidth = 2;
    entry.thumbHeight = 1;
    entry.thumbnail = PatternBytes(8, 4);
    return entry;
}

CatalogueEntry MissingPackagedEntry(const CatalogueEntry& packaged,
                                    const std::filesystem::path& dir) {
    CatalogueEntry entry = packaged;
    entry.title = "gone.vrm";
    entry.path = (dir / "gone.vrm").wstring();
    return entry;
}

}  // namespace

Catalogue BuildFuzzCatalogue(const std::filesystem::path& dir) {
    const std::filesystem::path media = ONDU_FUZZ_MEDIA_DIR;
    Catalogue catalogue =
        BuildCatalogue({(media / "h264-aac-text.mp4").wstring(), (media / "hevc.mp4").wstring(),
                        WritePackagedMovie(dir).wstring()})
            .catalogue;
    FUZZ_CHECK(catalogue.size() == kMissingMediaTitle);
    catalogue.push_back(MissingMediaEntry(dir));
    catalogue.push_back(MissingPackagedEntry(catalogue[kPackagedTitle], dir));
    FUZZ_CHECK(catalogue.size() == kFuzzTitleCount);
    return catalogue;
}
