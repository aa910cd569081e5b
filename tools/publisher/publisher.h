// Publishing a program folder as an update-server tree:
//
//   <server>/UpdateList.xml.zip            the list (entry "UpdateList.xml")
//   <server>/UpdateList.xml.zip.minisig    its signature, when signing
//   <server>/<FilePath with '/'>/<FileName>.zip   one archive per file
//
// which is exactly what the update worker requests under its base URL. Every
// entry carries the SHA-256 of its archive (CompressSha256).
//
// Signing uses a secret key file of the minisign tool and writes a
// prehashed minisign signature whose trusted comment is
//   "timestamp:<seconds since 1970>\tfile:UpdateList.xml.zip\tversion:<version>"
// (tab-separated fields, as minisign's own). An updater given the public key
// accepts the list only when the "version" field equals the version it was
// told to install, so an older signed list cannot be served in its place.
#pragma once

#include <functional>
#include <string>

struct PUBLISH_SETTINGS {
    std::string strProgramDir;  // the folder to publish
    std::string strServerDir;   // created when missing; existing archives are replaced
    std::string strVersion;     // the list's Software version; empty: none
    std::string strName;        // the list's Software name; empty: none
    // A minisign secret key file: sign the list. Empty: no signature (and a
    // signature left by an earlier run is removed, since it would not match).
    std::string strSecretKeyFile;
    // Asked for the key's password when the key is encrypted; false when
    // none could be read.
    std::function<bool(std::string&)> readPassword;
};

struct PUBLISH_REPORT {
    std::size_t nFiles = 0;
    unsigned long long nBytes = 0;         // program bytes published
    unsigned long long nArchiveBytes = 0;  // archive bytes written, the list's included
    std::string strKeyId;                  // the signing key's id, when signed
    std::string strPublicKey;              // its public key line, for the updater's -key
};

// Publishes the folder. A key to sign with is opened first, so that a wrong
// password fails before anything is written. `progress` (optional) is
// called after each file with the count done, the total and the file's path
// relative to the folder. False with `error` set on the first failure.
bool PublishProgramFolder(const PUBLISH_SETTINGS& settings, PUBLISH_REPORT& report, std::string& error,
                          const std::function<void(std::size_t, std::size_t, const std::string&)>& progress = {});
