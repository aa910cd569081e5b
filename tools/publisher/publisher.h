// Publishing a program folder as an update-server tree:
//
//   <server>/UpdateList.xml.zip            the list (entry "UpdateList.xml")
//   <server>/<FilePath with '/'>/<FileName>.zip   one archive per file
//
// which is exactly what the update worker requests under its base URL.
#pragma once

#include <functional>
#include <string>

struct PUBLISH_SETTINGS {
    std::string strProgramDir;  // the folder to publish
    std::string strServerDir;   // created when missing; existing archives are replaced
    std::string strVersion;     // the list's Software version; empty: none
    std::string strName;        // the list's Software name; empty: none
};

struct PUBLISH_REPORT {
    std::size_t nFiles = 0;
    unsigned long long nBytes = 0;         // program bytes published
    unsigned long long nArchiveBytes = 0;  // archive bytes written, the list's included
};

// Publishes the folder. `progress` (optional) is called after each file with
// the count done, the total and the file's path relative to the folder.
// False with `error` set on the first failure.
bool PublishProgramFolder(const PUBLISH_SETTINGS& settings, PUBLISH_REPORT& report, std::string& error,
                          const std::function<void(std::size_t, std::size_t, const std::string&)>& progress = {});
