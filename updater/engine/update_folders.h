// The two folders an update works in, as the command line names them: their
// local form, and whether they can be used at all. Portable; the file system
// is asked only through the platform layer (update_fs.h).
#pragma once

#include <string>

enum class FOLDER_PROBLEM {
    None,
    ProgramEmpty,      // -prog names nothing
    DownloadEmpty,     // -down names nothing
    ProgramRelative,   // -prog is not an absolute path
    DownloadRelative,  // -down is not an absolute path
    DownloadIsProgram,     // -down is the program folder
    DownloadInsideProgram, // -down lies below the program folder
};

// A folder setting as the updater uses it: every '\' is a folder separator
// like the ones in the list's FilePath and becomes '/', runs of separators
// become one, and a trailing separator is dropped (except for the root).
std::wstring LocalFolderPath(const std::wstring& typed);

// Checks two folder settings in their local form. Both must be absolute;
// the download folder must be neither the program folder nor inside it,
// compared with symbolic links resolved (a download folder that holds the
// program folder is fine).
FOLDER_PROBLEM CheckUpdateFolders(const std::wstring& progDir, const std::wstring& downDir);

// One line saying what is wrong, for standard error.
const char* DescribeFolderProblem(FOLDER_PROBLEM problem);
