#pragma once

#include <atomic>
#include <string>

#include "platform/FfmpegHandles.h"

// A media file opened by FFmpeg with its stream information read, or what
// stopped it: `error` is FFmpeg's, and `opened` tells whether the file itself
// opened and only its stream information failed.
struct MediaInput {
    FormatContextPtr context;
    int error = 0;
    bool opened = false;
};

// FFmpeg's words for one of its error codes.
std::string FfmpegErrorText(int error);

// Opens `path` (the bytes the OS takes) when it is a regular file: a FIFO or
// a device never holds the open up; what names nothing on the disk, such as
// an address, FFmpeg opens as it would. Every read asks `stop` first and
// gives up once it is raised, so that a file on a share that stopped
// answering holds up no stop for longer than the read under way; null for
// reads that never give up.
MediaInput OpenMediaInput(const std::string& path, const std::atomic<bool>* stop);
