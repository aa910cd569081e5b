// What the engine's tests share beyond tests/support: publishing trees,
// editing a published list, and running one update to its end.
#pragma once

#include <functional>
#include <string>

#include "headless_update.h"
#include "nginx.h"
#include "process.h"
#include "scripted_server.h"
#include "temp_folder.h"
#include "wait.h"

class CUpdateList;

namespace test {

std::wstring Wide(const std::string& text);

// Publishes a program folder with the publisher; fails the test on error.
void Publish(const std::string& programDir, const std::string& serverDir, const std::string& version = "1.0");

// Reads the server's list out of <server>/UpdateList.xml.zip, lets `edit`
// change it, and publishes it again.
void EditServerList(const std::string& serverDir, const std::function<void(CUpdateList&)>& edit);

// Runs one update with the six settings and waits for its final message.
HEADLESS_RESULT RunUpdate(const std::string& url, const std::string& progDir, const std::string& downDir,
                          const std::string& number = "1.0", bool reboot = false, const std::string& name = "prog");

} // namespace test
