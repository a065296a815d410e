#include "catalogue/FramePool.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cstdlib>
#include <cstring>
#include <utility>

struct PictureLayout {
    int lineSize[4] = {};
    size_t planeSize[4] = {};
    size_t total = 0;
};

namespace {

// The alignment and the slack past the end that FFmpeg's own picture
// buffers have: vector code reads and writes whole registers.
constexpr size_t kAlignment = 64;
constexpr size_t kSlack = 16 + kAlignment - 1;
// Smaller pictures come and go cheaply from the allocator's own reserve.
constexpr size_t kSmallestPooledPicture = size_t{4} << 20;

bool IsServable(const AVCodecContext& decoder, const AVFrame& frame) {
    const AVPixFmtDescriptor* descriptor =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return decoder.codec_type == AVMEDIA_TYPE_VIDEO && decoder.hw_frames_ctx == nullptr &&
           (decoder.codec->capabilities & AV_CODEC_CAP_DR1) != 0 && descriptor != nullptr &&
           (descriptor->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) == 0 &&
           frame.width > 0 && frame.height > 0;
}

// The layout FFmpeg's default allocator gives a picture: its size rounded up
// as the codec needs, the width widened until every line meets the codec's
// alignment.
bool LayoutFor(AVCodecContext* decoder, const AVFrame& frame, PictureLayout& layout) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    int width = frame.width;
    int height = frame.height;
    int strideAlign[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(decoder, &width, &height, strideAlign);
    for (bool aligned = false; !aligned; width += width & ~(width - 1)) {
        if (av_image_fill_linesizes(layout.lineSize, format, width) < 0)
            return false;
        aligned = true;
        for (int i = 0; i < 4; ++i)
            aligned = aligned && (strideAlign[i] <= 0 || layout.lineSize[i] % strideAlign[i] == 0);
    }
    const ptrdiff_t lineSizes[4] = {layout.lineSize[0], layout.lineSize[1], layout.lineSize[2],
                                    layout.lineSize[3]};
    if (av_image_fill_plane_sizes(layout.planeSize, format, height, lineSizes) < 0)
        return false;
    for (const size_t size : layout.planeSize)
        layout.total += size;
    return true;
}

}  // namespace

FramePool::~FramePool() {
    platform::MutexLock lock(mutex_);
    for (const std::unique_ptr<Block>& block : blocks_)
        std::free(block->allocation);
}

FramePool::Title::Title(FramePool& pool) : pool_(pool), id_(pool.BeginTitle()) {}

FramePool::Title::~Title() {
    for (AVBufferRef*& plane : picture_)
        av_buffer_unref(&plane);
    pool_.EndTitle(id_);
}

void FramePool::Title::Serve(AVCodecContext* decoder, bool onePicture) {
    onePicture_ = onePicture;
    decoder->opaque = this;
    decoder->get_buffer2 = FramePool::GetBuffer;
    // One picture is wanted, and frame threads would each hold pictures of
    // their own; without them FFmpeg need not ask whether the pool may be
    // called from several threads (it may).
    decoder->thread_type = FF_THREAD_SLICE;
}

uint64_t FramePool::BeginTitle() {
    platform::MutexLock lock(mutex_);
    return ++titles_;
}

void FramePool::EndTitle(uint64_t title) {
    platform::MutexLock lock(mutex_);
    std::erase_if(blocks_, [title](const std::unique_ptr<Block>& block) {
        if (block->lent || block->lastTitle == title)
            return false;
        std::free(block->allocation);
        return true;
    });
}

FramePool::Block* FramePool::Lend(uint64_t title, int plane, size_t size) {
    platform::MutexLock lock(mutex_);
    // The title's own buffers first, the one returned last first, as the
    // decoder's own pool hands them out; then any other of the same size.
    Block* chosen = nullptr;
    const auto rank = [title](const Block& block) {
        return std::pair(block.lastTitle == title, block.returned);
    };
    for (const std::unique_ptr<Block>& block : blocks_) {
        if (block->lent || block->plane != plane || block->size != size)
            continue;
        if (chosen == nullptr || rank(*block) > rank(*chosen))
            chosen = block.get();
    }
    if (chosen == nullptr) {
        // calloc leaves fresh pages to the kernel, which zeroes them anyway.
        void* allocation = std::calloc(1, size + kAlignment);
        if (allocation == nullptr)
            return nullptr;
        auto block = std::make_unique<Block>();
        block->pool = this;
        block->allocation = allocation;
        block->data = static_cast<uint8_t*>(allocation) +
                      (kAlignment - reinterpret_cast<uintptr_t>(allocation) % kAlignment);
        block->size = size;
        block->plane = plane;
        block->lastTitle = title;
        chosen = block.get();
        blocks_.push_back(std::move(block));
    } else if (chosen->lastTitle != title) {
        std::memset(chosen->data, 0, size);
        chosen->lastTitle = title;
    }
    chosen->lent = true;
    return chosen;
}

void FramePool::GiveBack(void* opaque, uint8_t* /*data*/) {
    auto* block = static_cast<Block*>(opaque);
    FramePool& pool = *block->pool;
    platform::MutexLock lock(pool.mutex_);
    block->lent = false;
    block->returned = ++pool.returns_;
}

bool FramePool::ShareTitlePicture(Title& title, const PictureLayout& layout, AVFrame* frame) {
    if (!title.onePicture_ || title.picture_[0] == nullptr)
        return false;
    for (int plane = 0; plane < 4; ++plane) {
        if (title.pictureSize_[plane] != layout.planeSize[plane])
            return false;
    }
    for (int plane = 0; plane < 4 && title.picture_[plane] != nullptr; ++plane) {
        frame->buf[plane] = av_buffer_ref(title.picture_[plane]);
        if (frame->buf[plane] == nullptr) {
            for (AVBufferRef*& buffer : frame->buf)
                av_buffer_unref(&buffer);
            return false;
        }
        frame->data[plane] = title.picture_[plane]->data;
        frame->linesize[plane] = layout.lineSize[plane];
    }
    frame->extended_data = frame->data;
    return true;
}

int FramePool::GetBuffer(AVCodecContext* decoder, AVFrame* frame, int flags) {
    auto* title = static_cast<Title*>(decoder->opaque);
    PictureLayout layout;
    if (title == nullptr || !IsServable(*decoder, *frame) || !LayoutFor(decoder, *frame, layout) ||
        layout.total < kSmallestPooledPicture)
        return avcodec_default_get_buffer2(decoder, frame, flags);
    if (ShareTitlePicture(*title, layout, frame))
        return 0;
    for (int plane = 0; plane < 4 && layout.planeSize[plane] > 0; ++plane) {
        Block* block = title->pool_.Lend(title->id_, plane, layout.planeSize[plane] + kSlack);
        if (block != nullptr) {
            frame->buf[plane] = av_buffer_create(block->data, block->size, GiveBack, block, 0);
            if (frame->buf[plane] == nullptr)
                GiveBack(block, nullptr);
        }
        if (frame->buf[plane] == nullptr) {
            for (AVBufferRef*& buffer : frame->buf)
                av_buffer_unref(&buffer);
            return AVERROR(ENOMEM);
        }
        frame->data[plane] = block->data;
        frame->linesize[plane] = layout.lineSize[plane];
    }
    frame->extended_data = frame->data;
    if (title->onePicture_ && title->picture_[0] == nullptr) {
        for (int plane = 0; plane < 4 && frame->buf[plane] != nullptr; ++plane) {
            title->picture_[plane] = av_buffer_ref(frame->buf[plane]);
            title->pictureSize_[plane] = layout.planeSize[plane];
        }
    }
    return 0;
}
