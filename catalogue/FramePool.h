#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ThreadAnnotations.h"

struct AVCodecContext;

// Picture buffers kept from one title's decoder for the next title read by
// the same reader. A large picture's buffers come straight from the kernel,
// which hands out zeroed pages one fault at a time and takes them back when
// they are freed; an 8K title's decoder needs several of 64 MB, so without
// reuse a title costs more in the kernel than in the decoder. Only large
// pictures are served here; the pool frees what it holds when it goes, at
// the end of the build, so the memory returns to the system.
class FramePool {
public:
    FramePool() = default;
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // One title's use of the pool. A buffer is zeroed the first time a title
    // gets it, as a fresh allocation is, so that no title ever sees another
    // title's pixels and a picture comes out the same whatever was read
    // before. When the title ends, the buffers it did not need are freed:
    // the pool keeps the shape of the last title only.
    class Title {
    public:
        explicit Title(FramePool& pool);
        ~Title();
        Title(const Title&) = delete;
        Title& operator=(const Title&) = delete;

        // Makes `decoder` take its pictures from the pool; call before
        // avcodec_open2. The decoder must be freed before this object.
        // `onePicture`: the title decodes one picture at a time, each from a
        // key packet alone, and drains or flushes the decoder before the
        // next; then all its pictures of one size share one buffer. The
        // pictures HEVC makes up for the references a CRA key picture lists
        // from before it, filled before the key picture is decoded and
        // never shown, then cost nothing: otherwise each is a whole picture,
        // 96 MiB at 8K in 10 bits.
        void Serve(AVCodecContext* decoder, bool onePicture = false);

    private:
        friend class FramePool;
        FramePool& pool_;
        uint64_t id_ = 0;
        bool onePicture_ = false;
        // The first picture's planes while `onePicture_`, and their size.
        struct AVBufferRef* picture_[4] = {};
        size_t pictureSize_[4] = {};
    };

private:
    struct Block {
        FramePool* pool = nullptr;
        void* allocation = nullptr;
        uint8_t* data = nullptr;  // `allocation`, aligned for the decoder's vector code
        size_t size = 0;
        int plane = 0;
        bool lent = false;
        uint64_t lastTitle = 0;  // the last title that had it
        uint64_t returned = 0;   // when it came back, for last-in first-out
    };

    static int GetBuffer(AVCodecContext* decoder, struct AVFrame* frame, int flags);
    // The title's one picture for `frame`, when it has one of that layout.
    static bool ShareTitlePicture(Title& title, const struct PictureLayout& layout,
                                  struct AVFrame* frame);
    static void GiveBack(void* block, uint8_t* data);
    uint64_t BeginTitle() EXCLUDES(mutex_);
    void EndTitle(uint64_t title) EXCLUDES(mutex_);
    // A buffer of `size` bytes for plane `plane`, zeroed unless `title` has
    // had it before; nullptr when memory is short.
    Block* Lend(uint64_t title, int plane, size_t size) EXCLUDES(mutex_);

    platform::Mutex mutex_;
    std::vector<std::unique_ptr<Block>> blocks_ GUARDED_BY(mutex_);
    uint64_t titles_ GUARDED_BY(mutex_) = 0;
    uint64_t returns_ GUARDED_BY(mutex_) = 0;
};
