#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "archive/bsMemRead.h"
#include "archive/bsMemWrite.h"
#include "protocol/ReplyFrame.h"

// Every message states its layout once, in a member template
// `Serialize(archive)` that stores and loads through the same calls. Only
// runs and lists, whose counts go ahead of them, tell the two apart.
namespace protocol {

// Reads a message as a headset must: a field the payload is too short for is
// not read at all, and the message counts as cut short rather than as zeros.
class MessageReader : public bsMemRead {
public:
    explicit MessageReader(const std::vector<uint8_t>& payload)
        : bsMemRead(payload.data(), payload.size()) {}

    iArc& SerializeBytes(void* data, uint64_t count) override {
        if (!Holds(count))
            return *this;
        return bsMemRead::SerializeBytes(data, count);
    }
    // Refuses a run the payload cannot hold before anything is made for it.
    bool Holds(int64_t count) {
        if (count < 0 || static_cast<uint64_t>(count) > Size() - Tell())
            complete_ = false;
        return complete_;
    }
    bool Complete() const { return complete_; }
    // True when nothing but the zeros that pad the frame is left.
    bool OnlyPaddingLeft() {
        uint8_t rest[kReplyFrameUnit] = {};
        const uint64_t left = Size() - Tell();
        if (!complete_ || left >= sizeof rest)
            return false;
        bsMemRead::SerializeBytes(rest, left);
        return std::all_of(rest, rest + left, [](uint8_t byte) { return byte == 0; });
    }

private:
    bool complete_ = true;
};

template <class Archive>
constexpr bool kStoring = std::is_base_of_v<iStoreArc, Archive>;

// The count that goes out ahead of a run or a list; nothing yet when loading.
template <class Run>
int32_t LengthOf(const Run& run) {
    return static_cast<int32_t>(run.size());
}

// A run of bytes whose length went out before it. Only a MessageReader
// loads one: it refuses a length the message cannot hold.
template <class Archive, class Run>
void SerializeRun(Archive& arc, Run& run, int64_t length) {
    if constexpr (!kStoring<Archive>) {
        if (!arc.Holds(length))
            return;
        run.resize(static_cast<size_t>(length));
    }
    if (!run.empty())
        arc.SerializeBytes(run.data(), run.size());
}

// A list of `count` items whose count went out before it.
template <class Archive, class Item>
void SerializeList(Archive& arc, std::vector<Item>& items, int32_t count) {
    if constexpr (kStoring<Archive>) {
        for (Item& item : items)
            item.Serialize(arc);
    } else {
        for (Item item; count-- > 0 && arc.Complete(); item = Item{}) {
            item.Serialize(arc);
            if (arc.Complete())
                items.push_back(std::move(item));
        }
    }
}

// A list that runs to the end of the message, without a count.
template <class Archive, class Item>
void SerializeToEnd(Archive& arc, std::vector<Item>& items) {
    if constexpr (kStoring<Archive>) {
        SerializeList(arc, items, LengthOf(items));
    } else {
        // A reader that refuses a cut item moves no further.
        for (uint64_t before = arc.Tell(); !arc.IsEnd(); before = arc.Tell()) {
            items.emplace_back().Serialize(arc);
            if (arc.Tell() == before) {
                items.pop_back();
                break;
            }
        }
    }
}

// The bytes of a message. A storing archive only reads the members.
template <class Message>
std::vector<uint8_t> Encoded(const Message& message) {
    bsMemWrite arc;
    const_cast<Message&>(message).Serialize(arc);
    return std::move(arc.Buffer());
}

}  // namespace protocol
