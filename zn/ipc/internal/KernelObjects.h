// What the shared buffers and the raw calls share: the rules for object
// names, creating and opening named (or unnamed) objects, and the
// process's table of handles and views.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zn/sync/NamedKernelObject.h"
#include "zuzazer/FXUniqueMapping.h"

namespace zn::detail {

// The longest name the Windows original platform takes (MAX_PATH less its end).
inline constexpr std::size_t kMaxObjectName = 259;

inline bool IsUnnamed(const char* name) { return name == nullptr || name[0] == '\0'; }
// 0 when `name` can name an object (null or empty: no name); 206 when it
// is too long. '/' and '\' are kept apart from nothing: see SegmentName.
uint32_t CheckObjectName(const std::string& name);

// Creates or opens `name` (an unnamed object when it is empty). Mode 0666
// when `everyone`, else 0600.
uint32_t CreateObject(const std::string& name, NamedObjectType type, const NamedObjectInit& init, bool everyone,
                      std::unique_ptr<NamedKernelObject>& object, bool& created);
// Opens an existing `name`; 2 when there is none, 87 for no name.
uint32_t OpenObject(const std::string& name, NamedObjectType type, std::unique_ptr<NamedKernelObject>& object);

using SharedObject = std::shared_ptr<NamedKernelObject>;

// Handles are values of this process's table (never pointers, so a handle
// closed long ago is not mistaken for a new one). A forked child has a copy
// of the table.
void* AddHandle(SharedObject object);
// Null when `handle` is none of ours.
SharedObject FindHandle(void* handle);
// False when `handle` is none of ours.
bool CloseHandle(void* handle);

// Views keep their object alive until they are unmapped.
void* AddView(yq::UniqueMapping view, SharedObject object);
// False when `address` is not the start of a view of ours.
bool RemoveView(void* address);

}  // namespace zn::detail
