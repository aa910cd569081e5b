// The update list: the document that names every file of the updated program
// ("UpdateList.xml" on the server) or every file still to install with its
// download state ("UpdateLog.xml" in the download folder).
//
// All text in the model is narrow, NUL-terminated and held in fixed arrays
// inside the records; on this platform the narrow text is UTF-8. Used by the
// worker thread only, without locking.
#pragma once

#include <cstdint>
#include <set>
#include <string>

class TiXmlDocument;
class TiXmlElement;
class CUpdateList;

// m_nStatus of an entry.
constexpr int UPDATE_FILE_PENDING = 0;  // installed file differs; not fetched yet
constexpr int UPDATE_FILE_FETCHED = 1;  // downloaded, unpacked and confirmed by length and CRC

// m_nCompressType of an entry whose CompressType text is exactly "zip".
constexpr int COMPRESS_ZIP = 1;

// One File element. Owns no memory beyond itself.
class CUpdateFile {
public:
    // Every field except m_pOwner to 0 or the empty text.
    void Reset();

    // Fills the entry from a File element. False for a null element, or when a
    // required child or its text is missing, a text is longer than its field,
    // or a CompressSha256 text is not 64 lowercase hex digits; the fields read
    // before the failure stay filled.
    bool ReadXml(const TiXmlElement* element);

    // Appends the child elements to an empty File element and sets its status
    // attribute when the status is not 0. False only for a null element.
    bool WriteXml(TiXmlElement* element) const;

    CUpdateList* m_pOwner = nullptr;  // the list holding the entry; not owned
    std::int32_t m_nStatus = UPDATE_FILE_PENDING;
    std::int64_t m_nFileLen = 0;  // length of the installed file; never negative once read
    char m_szFileCrc[17] = {};
    char m_szFileName[261] = {};
    char m_szFilePath[261] = {};  // sub-folder, folders separated by backslashes; may be empty
    std::int32_t m_nCompressType = 0;  // COMPRESS_ZIP or 0
    std::int64_t m_nCompressLen = 0;  // size of the compressed download; drives the progress
    char m_szCompressCrc[17] = {};
    char m_szCompressName[261] = {};
    char m_szCompressPath[261] = {};
    char m_szCommand[501] = {};
    // SHA-256 of the file's archive, 64 lowercase hex digits; empty when the
    // list gives none. Signed updates check every archive against it.
    char m_szCompressSha256[65] = {};
};

// The document: the Software element's values and the entries it owns.
class CUpdateList {
public:
    CUpdateList();
    ~CUpdateList();
    CUpdateList(const CUpdateList&) = delete;
    CUpdateList& operator=(const CUpdateList&) = delete;

    // Empties the Software values and deletes every entry. Also parks the
    // cursor at the end, so that GetNextFile after Clear returns null instead
    // of following a deleted entry.
    void Clear();

    // Copies the text into m_szVersion. False, the field unchanged, for a null
    // text or one longer than 32 bytes.
    bool SetVersion(const char* text);

    // A new, reset entry owned by this list.
    CUpdateFile* AddFile();

    // Deletes an entry of this list. False, nothing changed, for null or for an
    // entry owned by another list. Removing the entry the cursor stands on moves
    // the cursor to the following entry first, so iteration stays valid.
    bool RemoveFile(CUpdateFile* file);

    // Iteration in ascending address order. Each call returns the entry at the
    // cursor and moves the cursor past it, so the caller may remove the entry it
    // was just given and go on. Null at the end.
    CUpdateFile* GetFirstFile();
    CUpdateFile* GetNextFile();

    // Sum of m_nCompressLen over all entries, whatever their status: the total
    // of the download progress. A negative length (set by a caller; Load never
    // reads one) counts as 0 and the sum saturates at INT64_MAX instead of
    // wrapping, so the total is never negative and never below a part of it
    // counted the same way. The step is CompressProgressStep.
    std::int64_t GetTotalCompressLen() const;

    // Reads an update list file and adds its content to the list (see the .cpp
    // for the rules). False when the file cannot be read or parsed, has no root
    // or no Software element (the list unchanged), or when an entry is invalid
    // (the list emptied).
    bool Load(const std::wstring& path);

    // Writes the list as an update list file, replacing the file. False when
    // the path cannot be converted or the file cannot be created or fully
    // written. The list is not changed.
    bool Save(const std::wstring& path) const;

    std::int32_t m_nStatus = 0;  // Software status attribute
    char m_szName[33] = {};
    char m_szVersion[33] = {};  // version tag of the list
    char m_szProg[261] = {};
    char m_szDown[261] = {};
    char m_szUrl[501] = {};
    std::set<CUpdateFile*> m_setFiles;  // owned entries, ordered by address
    std::set<CUpdateFile*>::iterator m_itCursor;  // next entry GetNextFile returns

private:
    bool ReadSoftware(const TiXmlElement* software);
    bool ReadFiles(const TiXmlElement* software);
    void BuildDocument(TiXmlDocument& doc) const;
};

// The download progress step 3 + done * 62 / total, computed exactly without
// forming the product, so no length can make it wrap. done is clamped to
// [0, total], so the step stays within 3..65 whatever the lengths are; a
// total of 0 or less gives 3.
int CompressProgressStep(std::int64_t done, std::int64_t total);

// Reads a FileLen or CompressLen text: decimal digits only, with white space
// around them allowed, and a value that fits a signed 64-bit length. False,
// the value unchanged, for an empty text, a sign, any other character or a
// value above INT64_MAX.
bool ReadLength(const char* text, std::int64_t& value);
