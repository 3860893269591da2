# Warning and sanitizer settings of every target the project builds. They
# are linked PRIVATE everywhere: nothing of them reaches an installed
# consumer.
add_library(zn_build_options INTERFACE)
target_compile_options(zn_build_options INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wformat=2 -Wno-format-nonliteral)
# The source tree's include roots: the repository root and platform/.
target_include_directories(zn_build_options INTERFACE
  ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/platform)

if(ZN_SANITIZE)
  target_compile_options(zn_build_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(zn_build_options INTERFACE -fsanitize=address,undefined)
endif()

# The fuzzing build instruments everything for coverage; only the fuzz
# programs themselves link libFuzzer's main.
if(ZN_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZN_BUILD_FUZZERS needs clang (the fuzz preset sets it)")
  endif()
  target_compile_options(zn_build_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # Our shared objects are linked with --no-undefined: they take the
  # sanitizer runtime as a shared library too, found beside clang's.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
    OUTPUT_VARIABLE zn_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(zn_asan_runtime_dir ${zn_asan_runtime} DIRECTORY)
  target_link_options(zn_build_options INTERFACE
    -fsanitize=address,undefined -shared-libasan -Wl,-rpath,${zn_asan_runtime_dir})
endif()

# ThreadSanitizer: a build of its own (it cannot be combined with ASan).
option(ZN_TSAN "Build with ThreadSanitizer" OFF)
if(ZN_TSAN)
  if(ZN_SANITIZE)
    message(FATAL_ERROR "ZN_TSAN and ZN_SANITIZE exclude each other")
  endif()
  target_compile_options(zn_build_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(zn_build_options INTERFACE -fsanitize=thread)
endif()

find_program(ZN_CCACHE ccache)
if(ZN_CCACHE)
  # The precompiled headers are cached only with these sloppinesses. Paths
  # are hashed relative to the checkout, and the build folder not at all,
  # so that another clone or worktree of the same sources (CI's is new
  # every time) finds what an earlier one compiled.
  set(zn_ccache ${CMAKE_COMMAND} -E env CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
      CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=true ${ZN_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${zn_ccache})
  set(CMAKE_C_COMPILER_LAUNCHER ${zn_ccache})
endif()

# Test programs and tools at -O0 in the checking builds: most of their
# compile time is the optimiser working through GoogleTest, CLI11 and JSON
# templates that run a handful of times. The library keeps its own level.
option(ZN_QUICK_PROGRAMS "Compile tests and tools without optimisation" OFF)
function(zn_quick_program target)
  if(ZN_QUICK_PROGRAMS)
    target_compile_options(${target} PRIVATE -O0)
  endif()
endfunction()
