#include "streaming/AnnexBFilter.h"

#include "platform/FfmpegHandles.h"

namespace streaming {

BsfContextPtr OpenAnnexBFilter(const char* filterName, const AVStream& stream) {
    const AVBitStreamFilter* filter = av_bsf_get_by_name(filterName);
    if (filter == nullptr || stream.codecpar == nullptr)
        return {};
    AVBSFContext* allocated = nullptr;
    if (av_bsf_alloc(filter, &allocated) < 0)
        return {};
    BsfContextPtr context(allocated);
    if (avcodec_parameters_copy(context->par_in, stream.codecpar) < 0)
        return {};
    context->time_base_in = stream.time_base;
    if (av_bsf_init(context.get()) < 0)
        return {};
    return context;
}

}  // namespace streaming
