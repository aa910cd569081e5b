#include "launch_options.h"

#include <cwchar>

#include "text.h"

namespace {

constexpr wchar_t kSpace = L' ';
constexpr wchar_t kQuote = L'"';

// Only A-Z change; every other character, non-ASCII letters included, stays.
wchar_t FoldAsciiUpper(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsFolded(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (FoldAsciiUpper(a[i]) != FoldAsciiUpper(b[i]))
            return false;
    }
    return i == a.size() && b[i] == L'\0';
}

// The table row whose name without its leading '-' equals the text, or null.
const LAUNCH_OPTION_DEF* MatchRow(std::span<const LAUNCH_OPTION_DEF> table, const std::wstring& text)
{
    for (const LAUNCH_OPTION_DEF& row : table) {
        if (row.pszName && row.pszName[0] == L'-' && text == row.pszName + 1)
            return &row;
    }
    return nullptr;
}

// The option name a token stands for: its one prefix character removed and
// A-Z folded. False when the token has no '/' or '-' prefix.
bool OptionText(const std::wstring& token, std::wstring& text)
{
    if (token.empty() || (token[0] != L'/' && token[0] != L'-'))
        return false;
    text.assign(token, 1);
    for (wchar_t& c : text)
        c = FoldAsciiUpper(c);
    return true;
}

// The matching step of ParseLaunchOptions over the tokens; returns the index
// of the token where matching stopped (the count when they ran out).
size_t MatchTokens(LAUNCH_OPTION_LIST& options, std::span<const LAUNCH_OPTION_DEF> table,
    const std::vector<std::wstring>& tokens)
{
    std::wstring text;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!OptionText(tokens[i], text))
            return i;
        const LAUNCH_OPTION_DEF* row = MatchRow(table, text);
        if (!row)
            return i;
        auto option = std::make_unique<LAUNCH_OPTION>();
        option->strName = row->pszName;
        if (row->nHasValue) {
            if (i + 1 >= tokens.size())
                return i;  // the record is dropped: its value is missing
            option->strValue = tokens[++i];
            option->nHasValue = 1;
        }
        options.push_back(std::move(option));
    }
    return tokens.size();
}

}  // namespace

std::vector<std::wstring> SplitLaunchTokens(const wchar_t* pszCmdLine)
{
    std::vector<std::wstring> tokens;
    const wchar_t* p = pszCmdLine ? pszCmdLine : L"";
    for (;;) {
        while (*p == kSpace)
            ++p;
        if (*p == L'\0')
            break;
        if (*p == kQuote) {
            ++p;
            if (*p == L'\0')
                break;  // a lone quote at the very end
            const wchar_t* end = p;
            while (*end != L'\0' && *end != kQuote)
                ++end;
            tokens.emplace_back(p, end);
            p = (*end == kQuote) ? end + 1 : end;
        } else {
            const wchar_t* end = p;
            while (*end != L'\0' && *end != kSpace)
                ++end;
            tokens.emplace_back(p, end);
            p = (*end == kSpace) ? end + 1 : end;
        }
    }
    return tokens;
}

void ParseLaunchOptions(LAUNCH_OPTION_LIST& options, std::span<const LAUNCH_OPTION_DEF> table,
    const wchar_t* pszCmdLine)
{
    MatchTokens(options, table, SplitLaunchTokens(pszCmdLine));
}

BOOL MentionsUnreadOption(std::span<const LAUNCH_OPTION_DEF> table, const wchar_t* pszCmdLine, const wchar_t* pszName)
{
    if (!pszName || pszName[0] != L'-')
        return FALSE;
    const std::vector<std::wstring> tokens = SplitLaunchTokens(pszCmdLine);
    LAUNCH_OPTION_LIST unused;
    std::wstring text;
    for (size_t i = MatchTokens(unused, table, tokens); i < tokens.size(); ++i) {
        if (OptionText(tokens[i], text) && EqualsFolded(text, pszName + 1))
            return TRUE;
    }
    return FALSE;
}

BOOL FindLaunchOption(const LAUNCH_OPTION_LIST& options, const wchar_t* pszName, std::wstring& strValue)
{
    if (!pszName)
        return FALSE;
    for (const auto& option : options) {
        if (option && EqualsFolded(option->strName, pszName)) {
            strValue = option->strValue;
            return TRUE;
        }
    }
    return FALSE;
}

std::wstring BuildCommandLineText(int argc, char** argv)
{
    std::wstring text;
    if (!argv)
        return text;
    for (int i = 1; i < argc && argv[i]; ++i) {
        std::wstring arg = AnsiToWide(argv[i]);  // arguments are UTF-8 here
        bool quoted = arg.empty() || arg.find(kSpace) != std::wstring::npos;
        if (i > 1)
            text += kSpace;
        if (quoted)
            text += kQuote;
        text += arg;
        if (quoted)
            text += kQuote;
    }
    return text;
}
