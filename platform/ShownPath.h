#pragma once

#include <string>

namespace platform {

// The file a path names when it was only seen as text. Qt's file dialog
// shows each byte of a name that is not UTF-8 as U+FFFD and returns the name
// so, which names no file. Each component of `shown` that does not exist as
// it is, is matched against its folder's entries by the text they show (runs
// of U+FFFD counting as one); the path of the one entry that matches keeps
// the entry's bytes (see PathBytes.h). Without a single match, or when the
// path exists as it is, `shown` comes back unchanged.
std::wstring FindPathShownAs(const std::wstring& shown);

}  // namespace platform
