#include "update_folders.h"

#include "update_fs.h"

std::wstring LocalFolderPath(const std::wstring& typed)
{
    std::wstring local;
    local.reserve(typed.size());
    for (wchar_t c : typed) {
        if (c == L'\\')
            c = L'/';
        if (c == L'/' && !local.empty() && local.back() == L'/')
            continue;
        local += c;
    }
    if (local.size() > 1 && local.back() == L'/')
        local.pop_back();
    return local;
}

FOLDER_PROBLEM CheckUpdateFolders(const std::wstring& progDir, const std::wstring& downDir)
{
    if (progDir.empty())
        return FOLDER_PROBLEM::ProgramEmpty;
    if (downDir.empty())
        return FOLDER_PROBLEM::DownloadEmpty;
    if (progDir[0] != L'/')
        return FOLDER_PROBLEM::ProgramRelative;
    if (downDir[0] != L'/')
        return FOLDER_PROBLEM::DownloadRelative;
    const std::wstring prog = Tovarin::CanonicalPath(progDir);
    const std::wstring down = Tovarin::CanonicalPath(downDir);
    if (prog == down)
        return FOLDER_PROBLEM::DownloadIsProgram;
    if (Tovarin::IsInsideFolder(down, prog))
        return FOLDER_PROBLEM::DownloadInsideProgram;
    return FOLDER_PROBLEM::None;
}

const char* DescribeFolderProblem(FOLDER_PROBLEM problem)
{
    switch (problem) {
    case FOLDER_PROBLEM::None:
        return "the folders can be used";
    case FOLDER_PROBLEM::ProgramEmpty:
        return "-prog names no folder";
    case FOLDER_PROBLEM::DownloadEmpty:
        return "-down names no folder";
    case FOLDER_PROBLEM::ProgramRelative:
        return "-prog must be an absolute path";
    case FOLDER_PROBLEM::DownloadRelative:
        return "-down must be an absolute path";
    case FOLDER_PROBLEM::DownloadIsProgram:
        return "-down must not be the program folder";
    case FOLDER_PROBLEM::DownloadInsideProgram:
        return "-down must not lie inside the program folder";
    }
    return "unusable folders";
}
