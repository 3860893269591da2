# Installation into Debian's places, the CMake package and pkg-config files
# for programs that link the library, and the .deb built by `make package`.

include(CMakePackageConfigHelpers)

set(ZN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZaRorozIvi)
set(ZN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ZaRorozIvi)

# Installed objects find each other through their own folder, never through
# the build tree: the libraries sit side by side, the programs find them
# relative to their own folder.
file(RELATIVE_PATH zn_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set(zn_libraries ZaRorozIvi zuzazer znfocus dazurudev)
set_target_properties(${zn_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(znadmin zndemo PROPERTIES INSTALL_RPATH "$ORIGIN/${zn_bin_to_lib}")
set_target_properties(ZaRorozIvi PROPERTIES EXPORT_NAME ZaRorozIvi)

install(TARGETS ${zn_libraries}
  EXPORT ZaRorozIviTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${ZN_INSTALL_INCLUDEDIR})
install(TARGETS zncl ZnDataProtect LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The signature check lives in the installation's home folder, beside znsig.pub.
install(TARGETS ZnSigLib LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS znadmin zndemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers only: internal/ folders stay in the source tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/zn/ DESTINATION ${ZN_INSTALL_INCLUDEDIR}/zn
  FILES_MATCHING PATTERN "*.h"
  PATTERN internal EXCLUDE
  PATTERN catalogue EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/ DESTINATION ${ZN_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h"
  PATTERN internal EXCLUDE)

install(EXPORT ZaRorozIviTargets NAMESPACE ZaRorozIvi:: DESTINATION ${ZN_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/ZaRorozIviConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZaRorozIviConfig.cmake INSTALL_DESTINATION ${ZN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZaRorozIviConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZaRorozIviConfig.cmake ${CMAKE_BINARY_DIR}/ZaRorozIviConfigVersion.cmake
  DESTINATION ${ZN_INSTALL_CMAKEDIR})

file(RELATIVE_PATH ZN_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/packaging/ZaRorozIvi.pc.in ${CMAKE_BINARY_DIR}/ZaRorozIvi.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ZaRorozIvi.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(GLOB zn_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${zn_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(GLOB zn_man_pages ${PROJECT_SOURCE_DIR}/docs/man/*.1)
if(zn_man_pages)
  install(FILES ${zn_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/tools/znadmin/znadmin.bash-completion)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/znadmin/znadmin.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME znadmin)
endif()

# The .deb: dependencies from the Debian packages whose libraries ours link;
# the post-install step makes the store folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zaroroziivi)
set(CPACK_PACKAGE_VENDOR "Tessaly Systems")
set(CPACK_PACKAGE_CONTACT "ZaRorozIvi developers <zaroroziivi@tessaly.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Base library of the Tessaly backup suite, with znadmin")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
