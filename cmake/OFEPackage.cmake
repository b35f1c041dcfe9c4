# Installing the object-file library as the CMake package OFE: headers, static libraries, exported
# targets and a package config, so that another project can find_package(OFE) and link OFE::ofe.
# SPDX-License-Identifier: Apache-2.0
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(OFE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/OFE)
set(OFE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/OFE)
set(ofe_libraries diag support ofe archive)

# The libraries include each other's headers from the source root ("ofe/...", "util/...", "DIAG/..."), which
# the diagnostics library publishes for all (DIAG/CMakeLists.txt), installed below include/OFE. Anything
# else a library published would have to be installed too, so it stops here.
foreach(lib IN LISTS ofe_libraries)
  get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
  if(dirs AND NOT lib STREQUAL "diag")
    message(FATAL_ERROR "${lib} publishes the include directories '${dirs}'; cmake/OFEPackage.cmake installs "
                        "only the source root's headers")
  endif()
  set_target_properties(${lib} PROPERTIES
    INTERFACE_COMPILE_FEATURES cxx_std_20
    EXPORT_NAME ${lib}
    # A shared library or plugin of the user's may link them.
    POSITION_INDEPENDENT_CODE ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Position-independent code need not let other modules interpose the libraries' own functions,
    # which would keep calls between them from being inlined.
    target_compile_options(${lib} PRIVATE -fno-semantic-interposition)
  endif()
endforeach()
# In a shared library directory the archives carry the package's name.
set_target_properties(diag PROPERTIES OUTPUT_NAME ofe_diag)
set_target_properties(support PROPERTIES OUTPUT_NAME ofe_support)
set_target_properties(archive PROPERTIES OUTPUT_NAME ofe_archive)

install(TARGETS ${ofe_libraries} EXPORT OFETargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# The headers of the interface; the tool's banner, the listing's large arrays and the archive reader's
# arena are the implementation's own.
set(ofe_private_headers util/banner.h util/large_array.h archive/ar_arena.h)
foreach(dir ofe util DIAG archive)
  file(GLOB_RECURSE headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  list(REMOVE_ITEM headers ${ofe_private_headers})
  foreach(header IN LISTS headers)
    get_filename_component(subdir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${OFE_INSTALL_INCLUDEDIR}/${subdir} COMPONENT dev)
  endforeach()
endforeach()
install(EXPORT OFETargets NAMESPACE OFE:: DESTINATION ${OFE_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OFEConfig.cmake.in ${CMAKE_BINARY_DIR}/OFEConfig.cmake
  INSTALL_DESTINATION ${OFE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OFEConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OFEConfig.cmake ${CMAKE_BINARY_DIR}/OFEConfigVersion.cmake
  DESTINATION ${OFE_INSTALL_CMAKEDIR} COMPONENT dev)
