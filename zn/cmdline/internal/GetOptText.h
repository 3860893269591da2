// Texts of the option parser's diagnostics.
#pragma once

#include <string>
#include <string_view>

namespace zn::detail {

// The position of `text` in a null-terminated array of words (exact
// comparison), or -1.
int FindValueWord(const char* const* words, const char* text);

// Appends `text` with every character below 32 shown as '^' and the
// character plus 64 (a tab as "^I"); everything else as it is.
void AppendExpanded(std::string& out, std::string_view text);

// One line on the standard error stream, in one write so that lines of
// parsers on other threads never interleave with it.
void WriteDiagnosticLine(const std::string& line);

}  // namespace zn::detail
