#include "catalogue/TitleReplySizes.h"

#include <algorithm>
#include <string>

#include "catalogue/PackagedMovie.h"
#include "protocol/ProtocolLimits.h"

size_t DescriptionReplyBytes(const CatalogueEntry& entry) {
    return kReplyFraming + entry.title.size() + entry.thumbnail.size();
}

size_t PackagedOpeningReplyBytes(const CatalogueEntry& entry) {
    return kReplyFraming + static_cast<size_t>(std::max(entry.headerSize, 0)) +
           static_cast<size_t>(PACKAGED_RECORD_SIZE * kRecordsOnOpen);
}

std::optional<SkipReason> ReplyThatCannotFit(const CatalogueEntry& entry) {
    const auto tooLarge = [](const char* reply, size_t bytes) {
        return SkipReason{SkipKind::ReplyTooLarge, std::string(reply) + " of " +
                                                       std::to_string(bytes) + " bytes, above " +
                                                       std::to_string(kReplyBudget)};
    };
    if (const size_t bytes = DescriptionReplyBytes(entry); bytes > kReplyBudget)
        return tooLarge("a description", bytes);
    if (const size_t bytes = PackagedOpeningReplyBytes(entry); bytes > kReplyBudget)
        return tooLarge("an opening", bytes);
    return std::nullopt;
}
