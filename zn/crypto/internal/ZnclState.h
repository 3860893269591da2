// What the engine binding shares with the rest of the module: the
// process-wide random generator's context is released before the engine
// goes, and tests may point the search at another folder.
#pragma once

#include <optional>
#include <string>

namespace zn::detail {

// Destroys the process-wide frand context, if one was made (Znc random).
void ReleaseRandomContext();

// The folder searched first: this library's own, unless a test says
// otherwise.
void SetEngineSearchOverride(std::optional<std::string> folder);

// The folder of this library's own shared object (empty when unknown): the
// helper objects it loads live beside it.
std::string LibraryDirectory();

// The instance's home folder without trailing slashes (empty when there
// is none): where the engine and the signature library may also sit.
std::string HomeFolder();

}  // namespace zn::detail
