// A command line split into its arguments as the C runtime of the suite's
// first platform splits it: blanks and tabs separate; double quotes group
// (an empty pair gives an empty argument); 2n backslashes before a quote
// give n backslashes and the quote groups, 2n+1 give n and a literal quote;
// other backslashes are literal. Nothing else is special: no shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zn::detail {

std::vector<std::string> SplitCommandLine(std::string_view line);

// The command line that SplitCommandLine splits back into `arguments`:
// an argument that is empty or holds a blank, a tab or a quote is quoted,
// with the backslashes before a quote (or before the closing one) doubled.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// The text after the last '\\' or '/' of a command: the program's file name
// with what follows it.
std::string_view CommandTail(std::string_view command);

}  // namespace zn::detail
