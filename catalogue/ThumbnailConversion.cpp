#include "catalogue/ThumbnailConversion.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/dovi_meta.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "catalogue/Thumbnail.h"
#include "platform/FfmpegHandles.h"

namespace {

constexpr int kScalerFlags = SWS_FAST_BILINEAR | SWS_ACCURATE_RND;

struct FilterGraphFreer {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFreer>;

struct FilterInOutFreer {
    void operator()(AVFilterInOut* ends) const { avfilter_inout_free(&ends); }
};
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutFreer>;

// The colour properties the conversion goes by.
struct Colour {
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

template <typename Property>
Property Known(Property frameValue, Property streamValue, Property unspecified) {
    return frameValue != unspecified ? frameValue : streamValue;
}

// A decoder without colour information in the bitstream reports none, while
// the container may still say what the picture is.
Colour ColourOf(const AVFrame& frame, const AVCodecParameters& stream) {
    return {Known(frame.color_trc, stream.color_trc, AVCOL_TRC_UNSPECIFIED),
            Known(frame.color_primaries, stream.color_primaries, AVCOL_PRI_UNSPECIFIED),
            Known(frame.colorspace, stream.color_space, AVCOL_SPC_UNSPECIFIED),
            Known(frame.color_range, stream.color_range, AVCOL_RANGE_UNSPECIFIED)};
}

bool IsHdrTransfer(AVColorTransferCharacteristic transfer) {
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

// Dolby Vision profile 5 codes its only layer in Dolby's own IPT colours,
// which no standard conversion turns into BT.709, whatever the stream's
// colour tags claim. Its metadata says so with the profile-0 RPU of a
// full-range base layer (the test FFmpeg itself applies when the container
// does not name the profile). Profiles 7 and 8 carry an HDR10 base layer
// and are converted as HDR10.
bool HasNoHdr10BaseLayer(const AVFrame& frame) {
    const AVFrameSideData* data = av_frame_get_side_data(&frame, AV_FRAME_DATA_DOVI_METADATA);
    if (data == nullptr || data->size < sizeof(AVDOVIMetadata))
        return false;
    const AVDOVIRpuDataHeader* header =
        av_dovi_get_header(reinterpret_cast<const AVDOVIMetadata*>(data->data));
    return header->vdr_rpu_profile == 0 && header->bl_video_full_range_flag != 0;
}

bool HasLightLevels(const AVFrame& frame) {
    return av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA) != nullptr ||
           av_frame_get_side_data(&frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL) != nullptr;
}

// The picture as it was always converted: straight to BGRA by the scaler's
// defaults, whatever its colours.
void ScaleAsDecoded(const AVFrame& frame, uint8_t* thumbnail) {
    const ScalerPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), THUMBNAIL_WIDTH,
        THUMBNAIL_HEIGHT, AV_PIX_FMT_BGRA, kScalerFlags, nullptr, nullptr, nullptr));
    if (!scaler)
        return;
    uint8_t* const destination[4] = {thumbnail, nullptr, nullptr, nullptr};
    const int destinationStride[4] = {THUMBNAIL_ROW_BYTES, 0, 0, 0};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, destination,
              destinationStride);
}

bool IsRgb(const AVFrame& frame) {
    const AVPixFmtDescriptor* format =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return format != nullptr && (format->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

// HDR pictures still tagged as they were, defaulting what HDR10 and HLG leave
// unsaid to their BT.2020 limited-range YUV.
void TagAsHdr(AVFrame& small, const Colour& colour, bool rgb) {
    small.color_trc = colour.transfer;
    small.color_primaries =
        colour.primaries != AVCOL_PRI_UNSPECIFIED ? colour.primaries : AVCOL_PRI_BT2020;
    small.colorspace =
        rgb ? AVCOL_SPC_RGB
            : (colour.matrix != AVCOL_SPC_UNSPECIFIED ? colour.matrix : AVCOL_SPC_BT2020_NCL);
    small.color_range = colour.range != AVCOL_RANGE_UNSPECIFIED
                            ? colour.range
                            : (rgb ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG);
}

// The picture made 300 x 150 while still in its own colours, at 16 bits so
// that no HDR level is lost, with its colour properties and light levels.
// Scaling before the colour conversion lets an 8K picture cost what it always
// did; averaging the coded values rather than linear light only softens
// edges between very different brightnesses, which a picture this small
// hardly shows.
FramePtr ScaledDown(const AVFrame& frame, const Colour& colour) {
    const bool rgb = IsRgb(frame);
    FramePtr small(av_frame_alloc());
    if (!small)
        return {};
    small->width = THUMBNAIL_WIDTH;
    small->height = THUMBNAIL_HEIGHT;
    small->format = rgb ? AV_PIX_FMT_GBRP16 : AV_PIX_FMT_YUV444P16;
    if (av_frame_get_buffer(small.get(), 0) < 0 || av_frame_copy_props(small.get(), &frame) < 0)
        return {};
    const ScalerPtr scaler(sws_getContext(frame.width, frame.height,
                                          static_cast<AVPixelFormat>(frame.format), small->width,
                                          small->height, static_cast<AVPixelFormat>(small->format),
                                          kScalerFlags, nullptr, nullptr, nullptr));
    if (!scaler)
        return {};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, small->data,
                  small->linesize) != small->height)
        return {};
    TagAsHdr(*small, colour, rgb);
    return small;
}

// Linear light with 1.0 at 100 cd/m², in BT.709 primaries; a Möbius curve,
// which leaves everything below 30 cd/m² as it is and bends the highlights
// smoothly down to the picture's peak; then BT.709's curve. The peak comes
// from the content light level or the mastering display where the picture
// carries them. PQ without them is taken as mastered for the usual
// 1000 cd/m². HLG is relative to its display, whose peak it meets at 1.0, so
// only colours outside BT.709 are bent in.
std::string ToneMappingFilters(const AVFrame& small) {
    const char* peak = "";
    if (small.color_trc == AVCOL_TRC_ARIB_STD_B67)
        peak = ":peak=1";
    else if (!HasLightLevels(small))
        peak = ":peak=10";
    return std::string(
               "zscale=transfer=linear:npl=100:primaries=bt709:range=full,"
               "format=gbrpf32le,tonemap=tonemap=mobius") +
           peak +
           ",zscale=transfer=bt709:primaries=bt709:matrix=gbr:range=full,format=gbrp,"
           "format=bgra";
}

// A filter graph from a source that takes `small` to a sink, with the
// filters in between; single-threaded, as each title already has a reader
// thread of its own.
struct ToneMapGraph {
    FilterGraphPtr graph;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
};

bool LinkFilters(ToneMapGraph& tone, const std::string& filters) {
    FilterInOutPtr outputs(avfilter_inout_alloc());
    FilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs)
        return false;
    outputs->name = av_strdup("in");
    outputs->filter_ctx = tone.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = tone.sink;
    if (outputs->name == nullptr || inputs->name == nullptr)
        return false;
    AVFilterInOut* openInputs = inputs.release();
    AVFilterInOut* openOutputs = outputs.release();
    const int parsed = avfilter_graph_parse_ptr(tone.graph.get(), filters.c_str(), &openInputs,
                                                &openOutputs, nullptr);
    avfilter_inout_free(&openInputs);
    avfilter_inout_free(&openOutputs);
    return parsed >= 0 && avfilter_graph_config(tone.graph.get(), nullptr) >= 0;
}

bool MakeToneMapGraph(const AVFrame& small, ToneMapGraph& tone) {
    tone.graph.reset(avfilter_graph_alloc());
    if (!tone.graph)
        return false;
    tone.graph->nb_threads = 1;
    char sourceArguments[128];
    std::snprintf(sourceArguments, sizeof sourceArguments,
                  "video_size=%dx%d:pix_fmt=%d:time_base=1/1:pixel_aspect=1/1", small.width,
                  small.height, small.format);
    if (avfilter_graph_create_filter(&tone.source, avfilter_get_by_name("buffer"), "in",
                                     sourceArguments, nullptr, tone.graph.get()) < 0)
        return false;
    if (avfilter_graph_create_filter(&tone.sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, tone.graph.get()) < 0)
        return false;
    return LinkFilters(tone, ToneMappingFilters(small));
}

bool CopyIntoThumbnail(const AVFrame& picture, uint8_t* thumbnail) {
    if (picture.width != THUMBNAIL_WIDTH || picture.height != THUMBNAIL_HEIGHT ||
        picture.format != AV_PIX_FMT_BGRA)
        return false;
    for (int row = 0; row < THUMBNAIL_HEIGHT; ++row) {
        std::memcpy(thumbnail + static_cast<ptrdiff_t>(row) * THUMBNAIL_ROW_BYTES,
                    picture.data[0] + static_cast<ptrdiff_t>(row) * picture.linesize[0],
                    THUMBNAIL_ROW_BYTES);
    }
    return true;
}

bool ToneMapIntoThumbnail(const AVFrame& frame, const Colour& colour, uint8_t* thumbnail) {
    const FramePtr small = ScaledDown(frame, colour);
    if (!small)
        return false;
    ToneMapGraph tone;
    if (!MakeToneMapGraph(*small, tone))
        return false;
    // The graph takes the frame's buffers; the end of input makes it give
    // up the converted picture.
    if (av_buffersrc_add_frame(tone.source, small.get()) < 0 ||
        av_buffersrc_add_frame(tone.source, nullptr) < 0)
        return false;
    const FramePtr converted(av_frame_alloc());
    if (!converted || av_buffersink_get_frame(tone.sink, converted.get()) < 0)
        return false;
    return CopyIntoThumbnail(*converted, thumbnail);
}

}  // namespace

ThumbnailTone ConvertIntoThumbnail(const AVFrame& frame, const AVCodecParameters& stream,
                                   uint8_t* thumbnail) {
    if (frame.width <= 0 || frame.height <= 0)
        return ThumbnailTone::AsDecoded;
    if (HasNoHdr10BaseLayer(frame)) {
        ScaleAsDecoded(frame, thumbnail);
        return ThumbnailTone::NotToneMapped;
    }
    const Colour colour = ColourOf(frame, stream);
    if (!IsHdrTransfer(colour.transfer)) {
        ScaleAsDecoded(frame, thumbnail);
        return ThumbnailTone::AsDecoded;
    }
    if (ToneMapIntoThumbnail(frame, colour, thumbnail))
        return ThumbnailTone::ToneMapped;
    ScaleAsDecoded(frame, thumbnail);
    return ThumbnailTone::NotToneMapped;
}
