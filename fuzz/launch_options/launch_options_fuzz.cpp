// Arbitrary bytes as a command line, three ways: UTF-8 text, raw wide
// characters, or NUL-separated arguments joined as the program's entry point
// joins them. The parser, the lookups and the reading of the settings must
// never fail, and what they produce must keep to the option table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "launch_options.h"
#include "text.h"
#include "tovarin_app.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::wstring RawWide(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i + sizeof(wchar_t) <= size; i += sizeof(wchar_t)) {
        wchar_t c;
        std::memcpy(&c, data + i, sizeof c);
        text += c;
    }
    return text;
}

// Joins NUL-separated arguments; arguments without a double quote must come
// back from the tokenizer exactly.
std::wstring JoinedArguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> args = {"tovarin"};
    args.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    std::vector<char*> argv;
    bool quoteFree = true;
    for (std::string& a : args) {
        argv.push_back(a.data());
        quoteFree = quoteFree && a.find('"') == std::string::npos;
    }
    argv.push_back(nullptr);
    std::wstring text = BuildCommandLineText(static_cast<int>(args.size()), argv.data());
    if (quoteFree) {
        std::vector<std::wstring> tokens = SplitLaunchTokens(text.c_str());
        Check(tokens.size() == args.size() - 1);
        for (size_t i = 0; i < tokens.size(); ++i)
            Check(tokens[i] == AnsiToWide(args[i + 1]));
    }
    return text;
}

void CheckRecords(const LAUNCH_OPTION_LIST& options, size_t tokens)
{
    Check(options.size() <= tokens);
    for (const auto& option : options) {
        Check(option != nullptr);
        const LAUNCH_OPTION_DEF* row = nullptr;
        for (const LAUNCH_OPTION_DEF& r : LAUNCH_OPTION_TABLE) {
            if (option->strName == r.pszName)
                row = &r;
        }
        Check(row != nullptr);
        Check(option->nHasValue == row->nHasValue);
        Check(row->nHasValue || option->strValue.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::wstring text;
    switch (data[0] % 3) {
    case 0: text = AnsiToWide(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)); break;
    case 1: text = RawWide(data + 1, size - 1); break;
    default: text = JoinedArguments(data + 1, size - 1); break;
    }

    LAUNCH_OPTION_LIST options;
    ParseLaunchOptions(options, LAUNCH_OPTION_TABLE, text.c_str());
    CheckRecords(options, SplitLaunchTokens(text.c_str()).size());
    std::wstring value;
    for (const LAUNCH_OPTION_DEF& row : LAUNCH_OPTION_TABLE)
        FindLaunchOption(options, row.pszName, value);

    CTovarinApp app;
    app.m_strCmdLine = text;
    BOOL ok = app.ReadLaunchOptions();
    Check(ok == TRUE || ok == FALSE);
    if (ok) {
        Check(FindLaunchOption(options, L"-name", value) && value == app.m_strName);
        Check(FindLaunchOption(options, L"-down", value) && value == app.m_strDownDir);
    }
    return 0;
}
