// File, folder and process operations of the update worker.
//
// Paths are wide strings with '/' separators; they reach the OS as UTF-8.
// Every operation reports through its result and never throws. All may be
// called from any thread; none keeps state between calls.
#pragma once

#include <string>

namespace Tovarin {

// Copies `from` onto `to`, replacing `to` if it exists. The new content is
// written to a temporary file in the target's folder, given the source's
// permission bits, flushed to disk and renamed over the target, so that the
// target is at every moment either the old file or the complete new one. A
// stale temporary file left by an interrupted copy of the same target is
// reused. Fails where the target cannot be replaced (a read-only folder, a
// target that is a non-empty folder, ...).
bool CopyFileReplace(const std::wstring& from, const std::wstring& to);

// Renames `from` to `to`, replacing a file of that name.
bool MoveFileReplace(const std::wstring& from, const std::wstring& to);

// Removes one file (not a folder). True when it is gone, also when it was
// not there.
bool RemoveOneFile(const std::wstring& path);

// Creates one folder; a folder that already exists is no error.
bool CreateOneFolder(const std::wstring& path);

// Deletes a folder and everything below it, without following symbolic
// links. Refuses (false, nothing deleted) a file-system root, the home folder
// or a folder that contains it, and `keep` or a folder that contains it
// (the updater passes the program folder).
bool DeleteFolderTree(const std::wstring& folder, const std::wstring& keep);

// Blocks the calling thread.
void SleepMilliseconds(unsigned milliseconds);

// Writes a line to standard error when TOVARIN_DEBUG is set in the
// environment; silent otherwise.
void DebugText(const std::wstring& text);

// Starts a program by its path, detached in a session of its own, and does
// not wait for it. True when the program was started.
bool StartProgram(const std::wstring& path);

// The calling thread's last OS error code.
unsigned LastOsError();

} // namespace Tovarin
