#pragma once

#include <string>

// A disk that can be put to sleep, for the tests of what a slow disk holds
// up. Linked into a test program, it stands in front of the C library's
// open, read and close calls of the whole process, FFmpeg's among them:
// while the disk sleeps, every open and read of a file under its folder waits
// as a read of a disk spinning up would, in the middle of the call. Other
// files pass straight through.
namespace slow_disk {

// Files whose path starts with `folder` lie on the slow disk.
void PlaceFolder(const std::string& folder);
void PutToSleep();
void Wake();
// Opens and reads of the disk's files waiting for it now.
int Waiting();

}  // namespace slow_disk
