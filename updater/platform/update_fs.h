// File, folder and process operations of the update worker.
//
// Paths are wide strings with '/' separators; they reach the OS as UTF-8.
// Every operation reports through its result and never throws. All may be
// called from any thread; none keeps state between calls.
#pragma once

#include <cstdio>
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

// The install's two-pass copy, for many files at once: StageCopy puts the
// new content beside each target, in the temporary file CopyFileReplace
// uses (a hard link to `from` where both are on one file system, else a
// copy; the permission bits of CopyFileReplace), without syncing it;
// SyncFileSystemOf then makes every staged file durable with one call, and
// CommitStaged renames one over its target. A staged file that is not
// committed is removed with DiscardStaged, or reused by the next stage for
// the same target.
bool StageCopy(const std::wstring& from, const std::wstring& to);
bool SyncFileSystemOf(const std::wstring& folder);
bool CommitStaged(const std::wstring& to);
void DiscardStaged(const std::wstring& to);

// Makes the entries of a folder (renames, creations, removals) durable.
bool SyncFolder(const std::wstring& folder);

// Renames `from` to `to`, replacing a file of that name.
bool MoveFileReplace(const std::wstring& from, const std::wstring& to);

// Removes one file (not a folder). True when it is gone, also when it was
// not there.
bool RemoveOneFile(const std::wstring& path);

// Creates one folder; a folder that already exists is no error.
bool CreateOneFolder(const std::wstring& path);

// Removes one empty folder; false when it is not there, not empty, or not
// a folder.
bool RemoveEmptyFolder(const std::wstring& path);

// Creates (or truncates) a regular file for writing without following a
// symbolic link: when `path` lies below `root`, every folder between them
// and the file itself must be real folders and a real file, and `root`
// itself is taken as it is named. Null when it cannot be created so.
std::FILE* CreateFileNoFollow(const std::wstring& path, const std::wstring& root);

// True when `path` (which need not exist) lies inside `folder` or is it,
// after every symbolic link of the part that exists has been resolved.
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

// The canonical form of a path: symbolic links of the part that exists
// resolved, "." and ".." taken out; the rest appended as written. Empty for
// a path that is not absolute.
std::wstring CanonicalPath(const std::wstring& path);

// True when the folder exists, is a folder, belongs to the user the updater
// runs as, and cannot be written by others.
bool IsOwnFolder(const std::wstring& folder);

// True when the name exists and is a symbolic link.
bool IsSymbolicLink(const std::wstring& path);

// An exclusive advisory lock on a folder itself (no lock file is left in
// it), held until ReleaseFolderLock or the end of the process. Never waits.
enum class FOLDER_LOCK_RESULT { Locked, Busy, Missing };
FOLDER_LOCK_RESULT TryLockFolder(const std::wstring& folder, int& handle);
void ReleaseFolderLock(int handle);
// True when both names are the same existing folder.
bool IsSameFolder(const std::wstring& a, const std::wstring& b);

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
