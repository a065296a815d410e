#pragma once

#include <cstddef>
#include <optional>

#include "catalogue/CatalogueEntry.h"
#include "catalogue/SkipReason.h"

// The largest replies one title makes, with the room the reply budget keeps
// for a reply's frame: its description (name and picture) and its opening
// as a packaged movie (header block and first index records).
size_t DescriptionReplyBytes(const CatalogueEntry& entry);
size_t PackagedOpeningReplyBytes(const CatalogueEntry& entry);

// Why a reply about `entry` could never be sent: one that does not fit the
// reply budget on its own would hold every headset's requests back for good.
std::optional<SkipReason> ReplyThatCannotFit(const CatalogueEntry& entry);
