// Placeholder so that the interface links; the reader follows.
#include "zip_reader.h"

ZIP_READER* OpenZipArchive(const std::wstring&) { return nullptr; }
uint32_t ExtractFirstZipEntry(ZIP_READER*, const std::wstring&) { return UNPACK_ARGS; }
uint32_t GetFirstZipEntryRecord(ZIP_READER*, ZIP_ENTRY_RECORD*) { return UNPACK_ARGS; }
int CloseZipArchive(ZIP_READER*) { return 0; }
BOOL ExtractArchiveBeside(const std::wstring&) { return FALSE; }
void EnsureFolderPath(const wchar_t*, const std::wstring&) {}
