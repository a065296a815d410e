#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "support/Bytes.h"
#include "support/TestMedia.h"

// Sample media for the catalogue tests: two seconds or so, at most 320x180,
// with a key frame every half second unless a test needs otherwise.
namespace samples {

inline std::vector<std::string> TestPattern(const std::string& size, const std::string& duration) {
    return {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=10:duration=" + duration};
}

inline std::vector<std::string> Join(std::vector<std::string> a,
                                     const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Uniform colours one after another, as one lavfi source: {"red", "1"}, ...
inline std::vector<std::string> ColourSequence(
    const std::string& size, const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string graph;
    std::string inputs;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string label = "[c" + std::to_string(i) + "]";
        graph += "color=c=" + parts[i].first + ":size=" + size +
                 ":rate=10:duration=" + parts[i].second + label + ";";
        inputs += label;
    }
    graph += inputs + "concat=n=" + std::to_string(parts.size()) + ":v=1:a=0[out0]";
    return {"-f", "lavfi", "-i", graph};
}

inline const std::vector<std::string> kX264 = {"-c:v",     "libx264", "-preset", "veryfast",
                                               "-pix_fmt", "yuv420p", "-g",      "5"};

inline std::filesystem::path H264AacMp4() {
    return MakeTestMedia("h264_aac.mp4",
                         Join(Join(TestPattern("320x180", "2"),
                                   {"-f", "lavfi", "-i", "sine=frequency=440:duration=2"}),
                              Join(kX264, {"-c:a", "aac", "-shortest"})));
}

inline std::filesystem::path HevcMkv() {
    return MakeTestMedia("hevc.mkv",
                         Join(TestPattern("320x180", "2"),
                              {"-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                               "-x265-params", "keyint=5:min-keyint=5:log-level=none"}));
}

inline std::filesystem::path Vp9Webm() {
    return MakeTestMedia("vp9.webm", Join(TestPattern("320x180", "2"),
                                          {"-c:v", "libvpx-vp9", "-deadline", "realtime",
                                           "-cpu-used", "8", "-g", "5", "-b:v", "300k"}));
}

inline std::filesystem::path Vp8Webm() {
    return MakeTestMedia("vp8.webm", Join(TestPattern("320x180", "2"),
                                          {"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used",
                                           "8", "-g", "5", "-b:v", "300k"}));
}

inline std::filesystem::path Mpeg4Avi() {
    return MakeTestMedia(
        "mpeg4.avi", Join(TestPattern("320x180", "2"), {"-c:v", "mpeg4", "-q:v", "3", "-g", "5"}));
}

inline std::filesystem::path H264Ts() {
    return MakeTestMedia("h264.ts", Join(TestPattern("320x180", "2"), kX264));
}

inline std::filesystem::path AudioOnlyM4a() {
    return MakeTestMedia("audio_only.m4a",
                         {"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "aac"});
}

inline std::filesystem::path H264Mkv() {
    return MakeTestMedia("h264.mkv", Join(TestPattern("160x90", "2"), kX264));
}

// Red for 1 s, green for 1.5 s, blue for 0.5 s: the middle is green.
inline std::vector<std::string> RedGreenBlue() {
    return ColourSequence("160x90", {{"red", "1"}, {"green", "1.5"}, {"blue", "0.5"}});
}

// A video whose packets never decode: every byte after the x264 encoder is
// noise, while the container, its key flags and the decoder set-up are sound.
inline std::filesystem::path NeverDecodingMkv() {
    return MakeTestMedia(
        "never-decoding.mkv",
        {"-f", "lavfi", "-i", "testsrc=s=64x64:r=100:d=2", "-c:v", "libx264", "-preset",
         "ultrafast", "-pix_fmt", "yuv420p", "-g", "1000", "-bsf:v", "noise=amount=-1"});
}

// Red for two key frames, then green with no key frame after the middle.
inline std::filesystem::path GreenLastKeyFrameBeforeMiddleTs() {
    return MakeTestMedia("green-before-middle.ts",
                         Join(ColourSequence("160x90", {{"red", "0.5"}, {"green", "2.5"}}),
                              {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                               "-g", "1000", "-force_key_frames", "0,0.5"}));
}

// Interlaced, with B-frames, so that its first decoding time comes before its
// start time (1.48 s, as the TS muxer starts): a green key frame at the start,
// the only one, then red.
inline std::filesystem::path GreenFirstKeyFrameInterlacedTs() {
    return MakeTestMedia(
        "green-first-interlaced.ts",
        Join(ColourSequence("160x96", {{"green", "0.5"}, {"red", "2.5"}}),
             {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-flags",
              "+ildct+ilme", "-x264-params", "interlaced=1:tff=1", "-g", "1000"}));
}

inline std::filesystem::path GreenMiddleMp4() {
    return MakeTestMedia("green_middle.mp4", Join(RedGreenBlue(), kX264));
}

// Large enough for the readers' picture buffers, in HEVC Main 10 with open
// groups of pictures: the key picture after the middle is a CRA whose
// references the decoder makes up before it decodes the picture itself.
inline std::filesystem::path GreenMiddleHevcMain10Mp4() {
    return MakeTestMedia(
        "green_middle_hevc_main10.mp4",
        Join(ColourSequence("1920x1080", {{"red", "1"}, {"green", "1.5"}, {"blue", "0.5"}}),
             {"-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt", "yuv420p10le", "-x265-params",
              "keyint=7:min-keyint=7:scenecut=0:open-gop=1:log-level=none"}));
}

// Key frames only once a second, and an index-less container whose seek lands
// between them, so the packets read after the seek begin with non-key ones.
inline std::filesystem::path GreenMiddleMpeg4Ts() {
    return MakeTestMedia("green_middle_mpeg4.ts",
                         Join(RedGreenBlue(), {"-c:v", "mpeg4", "-q:v", "3", "-g", "10"}));
}

// 21 frames with key frames at 0 and 2 s only: the key frame after the middle
// is the last packet, and the B-frame reorder delay holds its picture back
// until the decoder is flushed.
inline std::filesystem::path BlueLastKeyFrameMp4() {
    return MakeTestMedia("blue_last_key.mp4",
                         Join(ColourSequence("160x90", {{"red", "2"}, {"blue", "0.1"}}),
                              {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                               "-x264-params", "keyint=20:min-keyint=20:scenecut=0"}));
}

// Two video streams, each of one uniform colour, in one file.
inline std::filesystem::path TwoVideoStreams(const std::string& name, const std::string& firstSize,
                                             const std::string& secondSize) {
    return MakeTestMedia(
        name,
        {"-f",   "lavfi",   "-i",       "color=c=red:size=" + firstSize + ":rate=10:duration=1",
         "-f",   "lavfi",   "-i",       "color=c=blue:size=" + secondSize + ":rate=10:duration=1",
         "-map", "0",       "-map",     "1",
         "-c:v", "libx264", "-preset",  "ultrafast",
         "-g",   "5",       "-pix_fmt", "yuv420p"});
}

// Bytes of several files one after another, cached like MakeTestMedia output.
inline std::filesystem::path ConcatenatedMedia(const std::string& name,
                                               const std::vector<std::filesystem::path>& parts) {
    const std::filesystem::path target = std::filesystem::path(ONDU_TEST_MEDIA_DIR) / name;
    if (std::filesystem::exists(target))
        return target;
    std::vector<uint8_t> bytes;
    for (const std::filesystem::path& part : parts) {
        if (part.empty())
            return {};
        const std::vector<uint8_t> partBytes = ReadFileBytes(part);
        bytes.insert(bytes.end(), partBytes.begin(), partBytes.end());
    }
    const std::filesystem::path partial = target.string() + "." + std::to_string(getpid());
    WriteFileBytes(partial, bytes);
    std::error_code ignored;
    std::filesystem::rename(partial, target, ignored);
    return target;
}

// MPEG-TS whose picture size drops from 320x180 (red, 1 s) to 160x90 (blue,
// 1.5 s): the probe sees the first size, the middle has the second.
inline std::filesystem::path ShrinkingTs() {
    const std::vector<std::string> encoder = {"-c:v",     "libx264", "-preset", "ultrafast",
                                              "-pix_fmt", "yuv420p", "-g",      "5"};
    const auto large = MakeTestMedia(
        "shrinking_part1.ts",
        Join({"-f", "lavfi", "-i", "color=c=red:size=320x180:rate=10:duration=1"}, encoder));
    const auto small = MakeTestMedia(
        "shrinking_part2.ts",
        Join(Join({"-f", "lavfi", "-i", "color=c=blue:size=160x90:rate=10:duration=1.5"}, encoder),
             {"-output_ts_offset", "1"}));
    return ConcatenatedMedia("shrinking.ts", {large, small});
}

// An MP4 with its index in front, so that a cut file still opens.
inline std::filesystem::path FastStartMp4() {
    return MakeTestMedia("faststart.mp4", Join(Join(TestPattern("160x90", "2"), kX264),
                                               {"-movflags", "+faststart"}));
}

// The test pattern as one colour system codes it, made from the same BT.709
// picture at 100 cd/m²: "bt709" and "untagged" in 8-bit H.264, tagged or
// not; in 10-bit HEVC with BT.2020 colours "pq" (HDR10 with its mastering
// display and content light level), "pq-bare" (without them) and "hlg".
inline std::filesystem::path ColourSystemMp4(const std::string& system) {
    const std::vector<std::string> pattern = TestPattern("192x96", "1");
    if (system == "bt709" || system == "untagged") {
        std::vector<std::string> tags;
        if (system == "bt709")
            tags = {"-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709"};
        return MakeTestMedia("colour-" + system + ".mp4", Join(Join(pattern, kX264), tags));
    }
    const bool hlg = system == "hlg";
    const std::string transfer = hlg ? "arib-std-b67" : "smpte2084";
    std::string x265 = "keyint=5:min-keyint=5:log-level=none";
    if (system == "pq") {
        x265 +=
            ":hdr10=1:max-cll=100,100:master-display=G(13250,34500)B(7500,3000)"
            "R(34000,16000)WP(15635,16450)L(1000000,50)";
    }
    return MakeTestMedia(
        "colour-" + system + ".mp4",
        Join(pattern,
             {"-vf",
              "format=gbrp,zscale=tin=bt709:pin=bt709:min=gbr:rin=full:t=linear:npl=100:p=bt709:"
              "m=gbr,format=gbrpf32le,zscale=p=bt2020:m=bt2020nc:r=tv:npl=100:t=" +
                  transfer + ",format=yuv420p10le",
              "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", x265, "-color_primaries",
              "bt2020", "-color_trc", transfer, "-colorspace", "bt2020nc"}));
}

}  // namespace samples
