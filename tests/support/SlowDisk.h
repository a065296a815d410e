#pragma once

#include <cstdint>
#include <string>

// A disk that can be put to sleep or given a bad sector, for the tests of
// what a slow or failing disk holds up. Linked into a test program, it stands
// in front of the C library's read calls of the whole process, FFmpeg's among
// them: while the disk sleeps, every read of a file under its folder waits in
// the middle of the call, as a read of a disk spinning up would; a read that
// touches the bad sector fails with EIO. Other reads pass straight through.
namespace slow_disk {

// Files whose path starts with `folder` lie on the slow disk.
void PlaceFolder(const std::string& folder);
void PutToSleep();
void Wake();
// Reads of the disk's files waiting for it now.
int Waiting();
// Reads of any of the disk's files that touch [offset, offset + length) fail
// from now on, until Mend.
void BreakSector(int64_t offset, int64_t length);
void Mend();

}  // namespace slow_disk
