#include "update_fixture.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "publisher.h"
#include "text.h"
#include "update_list.h"
#include "zip_reader.h"
#include "zip_writer.h"

namespace fs = std::filesystem;

namespace test {

std::wstring Wide(const std::string& text)
{
    return AnsiToWide(text);
}

void Publish(const std::string& programDir, const std::string& serverDir, const std::string& version)
{
    PUBLISH_SETTINGS settings{programDir, serverDir, version, "prog"};
    PUBLISH_REPORT report;
    std::string error;
    ASSERT_TRUE(PublishProgramFolder(settings, report, error)) << error;
}

void EditServerList(const std::string& serverDir, const std::function<void(CUpdateList&)>& edit)
{
    TempFolder scratch;
    const std::string archive = scratch / "UpdateList.xml.zip";
    fs::copy_file(serverDir + "/UpdateList.xml.zip", archive);
    ASSERT_TRUE(ExtractArchiveBeside(Wide(archive)));
    CUpdateList list;
    ASSERT_TRUE(list.Load(Wide(scratch / "UpdateList.xml")));
    edit(list);
    ASSERT_TRUE(list.Save(Wide(scratch / "UpdateList.xml")));
    ZIP_ENTRY_SOURCE entry{"UpdateList.xml", 0644, 0};
    ZIP_WRITE_RESULT written;
    std::string error;
    ASSERT_TRUE(WriteSingleEntryZip(serverDir + "/UpdateList.xml.zip", scratch / "UpdateList.xml", entry, written, error))
        << error;
}

HEADLESS_RESULT RunUpdate(const std::string& url, const std::string& progDir, const std::string& downDir,
                          const std::string& number, bool reboot, const std::string& name)
{
    HEADLESS_SETTINGS settings{Wide(name), Wide(number), Wide(progDir), Wide(downDir), Wide(url), reboot};
    HEADLESS_OPTIONS options;
    options.timeout = std::chrono::seconds(120);
    return RunHeadlessUpdate(settings, options);
}

} // namespace test
