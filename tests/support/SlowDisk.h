#pragma once

#include <string>

// A disk that can be put to sleep, for the tests of what a slow disk holds
// up. Linked into a test program, it stands in front of the C library's read
// calls of the whole process, FFmpeg's among them: while the disk sleeps,
// every read of a file under its folder waits in the middle of the call, as
// a read of a disk spinning up would. Other reads pass straight through.
namespace slow_disk {

// Files whose path starts with `folder` lie on the slow disk.
void PlaceFolder(const std::string& folder);
void PutToSleep();
void Wake();
// Reads of the disk's files waiting for it now.
int Waiting();

}  // namespace slow_disk
