# Packages of what `cmake --install` puts in place, made by CPack: on Debian two .deb packages, nmkite
# (the tools nmkite and ofdump, their manual pages and bash completions) and libofe-dev (the object-file
# library's headers, static libraries and CMake package); for Windows one .zip of everything.
# SPDX-License-Identifier: Apache-2.0
set(CPACK_PACKAGE_NAME nmkite)
set(CPACK_PACKAGE_VENDOR "Kite tool chain")
set(CPACK_PACKAGE_CONTACT "nmkite developers <nmkite@kite.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kite.invalid/nmkite")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL tool dev)
set(CPACK_COMPONENT_TOOL_DISPLAY_NAME "nmkite")
set(CPACK_COMPONENT_DEV_DISPLAY_NAME "OFE development files")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "name utility and object-file dumper of the Kite DSP tool chain, and its object-file library")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Not a Debian-native package: the Debian revision follows the upstream version.
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME nmkite)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_TOOL_DESCRIPTION [[
name utility and object-file dumper of the Kite DSP cross tool chain
nmkite lists the symbols defined and referenced in 32-bit ELF files, in
QXCOFF files of all three versions and either byte order, and in archives
of them: one line per symbol with its value and kind, or a long table of
index, value, size, binding, type, visibility and section. The listing is
sorted by name or value, or kept in table order, and can be restricted to
global or undefined symbols or to the dynamic symbols of an executable.
.
ofdump prints everything the tool chain's object-file library reads in
such files: headers, sections, raw data, relocations, QXCOFF line
numbers, symbols, string tables, hash and dynamic tables, symbol
versions, build attributes and segments, or an XML description of them.]])

  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libofe-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_DESCRIPTION [[
object-file library of the Kite DSP tool chain (development files)
OFE reads 32-bit ELF files and QXCOFF files of all three versions, with
the Kite tool chain's extensions: sections, symbols, string tables,
relocations, version records, build attributes and the target machine
databases, with information dumps and XML descriptions of whole files.
.
This package holds the headers, the static libraries (built as
position-independent code) and the CMake package configuration: use
find_package(OFE) and link the target OFE::ofe.]])

  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()
include(CPack)
