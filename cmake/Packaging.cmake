# Packages of what `cmake --install` puts in place, made by CPack: a .deb on Debian (package preset
# "deb") and a .zip of the Windows build (package preset "windows").
set(CPACK_PACKAGE_NAME nmkite)
set(CPACK_PACKAGE_VENDOR "Kite tool chain")
set(CPACK_PACKAGE_CONTACT "nmkite developers <nmkite@kite.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "name utility of the Kite DSP tool chain, and its object-file library")
set(CPACK_PACKAGE_DESCRIPTION
    "nmkite lists the symbols of 32-bit ELF files, QXCOFF files and archives of them. The package also \
holds the object-file library OFE (headers, static libraries and a CMake package config), the manual \
page and the bash completion.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()
include(CPack)
