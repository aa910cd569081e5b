// The updater's command line: the option table, the parser that turns the
// command-line text into recognised options, and the lookup of one option.
// Portable: no OS access; the text is handed in by the caller.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "win_types.h"

// One row of the option table.
struct LAUNCH_OPTION_DEF {
    const wchar_t* pszName;  // lower case, with its leading '-'
    int nHasValue;  // 1 when the option takes the next token as its value
};

// One option found on the command line.
struct LAUNCH_OPTION {
    int nHasValue = 0;  // 1 when a value token was taken for it
    std::wstring strName;  // the table's spelling, whatever the user typed
    std::wstring strValue;  // the value token exactly as typed; empty for a switch
};

// The options found, in command-line order. Owns its records; a slot may be
// empty (null) and lookups skip it.
using LAUNCH_OPTION_LIST = std::vector<std::unique_ptr<LAUNCH_OPTION>>;

inline constexpr LAUNCH_OPTION_DEF LAUNCH_OPTION_TABLE[7] = {
    {L"-name", 1},  // program name without its executable suffix
    {L"-number", 1},  // version tag of the update
    {L"-down", 1},  // download folder
    {L"-prog", 1},  // program folder
    {L"-http", 1},  // base URL of the update server
    {L"-reboot", 0},  // start the program after a successful install
    {L"-key", 1},  // the publisher's public key: a signed update
};

// Splits the command-line text into tokens. The space is the only separator.
// A token starting with a double quote runs to the next double quote (dropped)
// or to the end of the text; the text right after the closing quote starts a
// new token. Any other token runs to the next space, quotes included. There is
// no escape character. A lone quote at the very end gives no token. Null is an
// empty text.
std::vector<std::wstring> SplitLaunchTokens(const wchar_t* pszCmdLine);

// Appends one record per recognised option to the list. Each token must start
// with '/' or '-' (exactly one such character is removed), and the rest, with
// A-Z folded to lower case, must equal a row's name without its '-'. A row
// that takes a value takes the next token whatever it looks like. Matching
// stops silently at the first token without a prefix, the first unknown
// option, or a value option that is the last token; earlier records stay.
void ParseLaunchOptions(LAUNCH_OPTION_LIST& options, std::span<const LAUNCH_OPTION_DEF> table,
    const wchar_t* pszCmdLine);

// TRUE when a token that ParseLaunchOptions left unread (from the one where
// matching stopped on), read as an option (one '/' or '-' removed, A-Z
// folded), names pszName (written with its '-'): an option given but not
// taken, for want of its value or after an unrecognised token.
BOOL MentionsUnreadOption(std::span<const LAUNCH_OPTION_DEF> table, const wchar_t* pszCmdLine, const wchar_t* pszName);

// Copies the value of the first record named pszName (A-Z compared without
// regard to case) into strValue and returns TRUE; FALSE, strValue unchanged,
// when there is none.
BOOL FindLaunchOption(const LAUNCH_OPTION_LIST& options, const wchar_t* pszName, std::wstring& strValue);

// The command-line text the updater would be handed on a system that passes
// one text instead of an argument vector: the arguments after argv[0] joined
// by single spaces, each empty argument or argument holding a space wrapped in
// double quotes. The arguments are UTF-8 and are converted to wide text. An
// argument holding both a space and a double quote cannot be written in this
// syntax (it has no escape) and comes out split.
std::wstring BuildCommandLineText(int argc, char** argv);
