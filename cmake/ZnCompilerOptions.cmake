# Warning and sanitizer settings shared by every target of the project.
add_library(zn_compile_options INTERFACE)
target_compile_options(zn_compile_options INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wformat=2 -Wno-format-nonliteral)
target_include_directories(zn_compile_options INTERFACE
  ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/platform)

if(ZN_SANITIZE)
  target_compile_options(zn_compile_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(zn_compile_options INTERFACE -fsanitize=address,undefined)
endif()

# ThreadSanitizer: a build of its own (it cannot be combined with ASan).
option(ZN_TSAN "Build with ThreadSanitizer" OFF)
if(ZN_TSAN)
  if(ZN_SANITIZE)
    message(FATAL_ERROR "ZN_TSAN and ZN_SANITIZE exclude each other")
  endif()
  target_compile_options(zn_compile_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(zn_compile_options INTERFACE -fsanitize=thread)
endif()

find_program(ZN_CCACHE ccache)
if(ZN_CCACHE)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${ZN_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${ZN_CCACHE})
endif()

# zn_add_component(<target> SOURCES ...): a shared library of the project.
function(zn_add_shared_library target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME" "SOURCES;LINK" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PUBLIC zn_compile_options ${ARG_LINK})
  # Calls inside the library bind to the library itself (no PLT hop, and the
  # compiler may inline them): nobody interposes our own symbols.
  target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions)
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()
