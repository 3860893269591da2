# Modules of the library and components of the platform.
#
# Every folder zn/<module> is one object library `zn_<module>`; all of them
# are linked into the one shared library libZaRorozIvi.so. A module names in
# DEPS the modules it sits on; each of them must already be defined, so the
# order of definition is the layering and a cycle cannot be declared. The
# include graph is checked against the declared DEPS on every build
# (scripts/check-layering): including a header of a module that is not
# below is a build failure.
#
# Headers directly in a module folder are its public interface and are
# installed; headers under <module>/internal/ are seen by that module alone.

define_property(GLOBAL PROPERTY ZN_MODULES BRIEF_DOCS "zn modules in layering order" FULL_DOCS "-")
define_property(GLOBAL PROPERTY ZN_COMPONENTS BRIEF_DOCS "platform components" FULL_DOCS "-")

# Records a node of the layering graph: its kind, folder and direct DEPS.
function(zn_record_layer name kind dir)
  foreach(dep IN LISTS ARGN)
    get_property(known GLOBAL PROPERTY ZN_LAYER_${dep}_DIR SET)
    if(NOT known)
      message(FATAL_ERROR "${kind} '${name}' names '${dep}' in DEPS, but '${dep}' is not defined "
                          "below it. A module may sit only on modules defined before it.")
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY ZN_LAYER_${name}_DIR ${dir})
  set_property(GLOBAL PROPERTY ZN_LAYER_${name}_DEPS ${ARGN})
  set_property(GLOBAL PROPERTY ZN_LAYER_${name}_KIND ${kind})
  set_property(GLOBAL APPEND PROPERTY ZN_LAYERS ${name})
endfunction()

# zn_add_module(<name> SOURCES ... [DEPS <modules>...] [COMPONENTS <platform components>...]
#               [LINK <external targets>...] [PRIVATE_LINK <external targets>...])
#
# COMPONENTS are the platform stand-ins the module uses (zuzazer, znfocus,
# ...); LINK are outside libraries whose headers the module's public
# headers include, PRIVATE_LINK those only its sources use.
function(zn_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;COMPONENTS;LINK;PRIVATE_LINK" ${ARGN})
  zn_record_layer(${name} module ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_DEPS} ${ARG_COMPONENTS})

  set(target zn_${name})
  set(deps)
  foreach(dep IN LISTS ARG_DEPS)
    list(APPEND deps zn_${dep})
  endforeach()

  if(ARG_SOURCES)
    add_library(${target} OBJECT ${ARG_SOURCES})
    target_link_libraries(${target}
      PUBLIC ${deps} ${ARG_COMPONENTS} ${ARG_LINK}
      PRIVATE zn_build_options ${ARG_PRIVATE_LINK})
    target_compile_definitions(${target} PRIVATE ZN_BUILDING_LIBRARY)
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${deps} ${ARG_COMPONENTS} ${ARG_LINK})
  endif()
  set_property(GLOBAL APPEND PROPERTY ZN_MODULES ${name})
  set_property(GLOBAL APPEND PROPERTY ZN_PUBLIC_LINKS ${ARG_COMPONENTS} ${ARG_LINK})
endfunction()

# zn_add_component(<target> OUTPUT_NAME <name> SOURCES ... [DEPS <components>...]
#                  [LINK <external targets>...] [PRIVATE_LINK ...] [MODULE])
#
# A platform stand-in: a shared object of its own (or a module loaded by
# name with MODULE), hidden by default with its interface exported.
function(zn_add_component target)
  cmake_parse_arguments(ARG "MODULE" "OUTPUT_NAME" "SOURCES;DEPS;LINK;PRIVATE_LINK" ${ARGN})
  zn_record_layer(${target} component ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_DEPS})
  if(ARG_MODULE)
    add_library(${target} MODULE ${ARG_SOURCES})
  else()
    add_library(${target} SHARED ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
  target_link_libraries(${target}
    PUBLIC ${ARG_DEPS} ${ARG_LINK}
    PRIVATE zn_build_options ${ARG_PRIVATE_LINK})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/ZaRorozIvi>)
  zn_shared_object_options(${target})
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  set_property(GLOBAL APPEND PROPERTY ZN_COMPONENTS ${target})
endfunction()

# Options of every shared object we build.
function(zn_shared_object_options target)
  if(ZN_HIDE_INTERNALS)
    set_target_properties(${target} PROPERTIES
      CXX_VISIBILITY_PRESET hidden
      C_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
  endif()
  # Calls inside a library bind to the library itself (no PLT hop, and the
  # compiler may inline them): nobody interposes our own symbols.
  target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions -Wl,--no-undefined)
endfunction()

# libZaRorozIvi.so from every module, and the layering check that gates it.
function(zn_link_library target)
  get_property(modules GLOBAL PROPERTY ZN_MODULES)
  get_property(public_links GLOBAL PROPERTY ZN_PUBLIC_LINKS)
  list(REMOVE_DUPLICATES public_links)
  add_library(${target} SHARED)
  foreach(m IN LISTS modules)
    # Linked directly, an object library gives its objects to the library;
    # what consumers need of it is stated on the library itself below.
    target_link_libraries(${target} PRIVATE zn_${m})
  endforeach()
  target_link_libraries(${target} PUBLIC ${public_links})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/ZaRorozIvi>)
  zn_shared_object_options(${target})
  target_link_libraries(${target} PRIVATE zn_build_options)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(ZN_ENFORCE_LAYERING)
    zn_add_layering_check(${target})
  endif()
endfunction()

# Writes the declared graph and checks every include of every module and
# component against it before the library links.
function(zn_add_layering_check target)
  get_property(layers GLOBAL PROPERTY ZN_LAYERS)
  set(graph "")
  set(sources)
  foreach(l IN LISTS layers)
    get_property(dir GLOBAL PROPERTY ZN_LAYER_${l}_DIR)
    get_property(deps GLOBAL PROPERTY ZN_LAYER_${l}_DEPS)
    get_property(kind GLOBAL PROPERTY ZN_LAYER_${l}_KIND)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    string(REPLACE ";" " " deps_text "${deps}")
    string(APPEND graph "${kind} ${l} ${rel} ${deps_text}\n")
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${dir}/*.h ${dir}/*.cpp)
    list(APPEND sources ${files})
  endforeach()
  set(graph_file ${CMAKE_BINARY_DIR}/module-graph.txt)
  file(GENERATE OUTPUT ${graph_file} CONTENT "${graph}")
  set(stamp ${CMAKE_BINARY_DIR}/module-graph.checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check-layering
            --root ${PROJECT_SOURCE_DIR} --graph ${graph_file}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/check-layering ${graph_file} ${sources}
    COMMENT "Checking module layering"
    VERBATIM)
  add_custom_target(zn_check_layering DEPENDS ${stamp})
  add_dependencies(${target} zn_check_layering)
endfunction()
