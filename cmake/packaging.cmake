# Packages, made with cpack in the build folder: two .debs on Linux (build them from the release
# preset: cmake --workflow --preset release), two zips on Windows. Each component of
# cmake/install.cmake is one package.

set(CPACK_PACKAGE_NAME lomvik)
set(CPACK_PACKAGE_VENDOR "The Lomvik authors")
set(CPACK_PACKAGE_CONTACT "${lomvik_maintainer}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZK8/ZK9 crc calculator: stamps and checks CRC-16 inf files")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
set(CPACK_COMPONENTS_ALL lomvik liblomvik-dev)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/cpack_options.cmake)

# Debian: lomvik and liblomvik-dev.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${lomvik_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SOURCE lomvik)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LOMVIK_PACKAGE_NAME lomvik)
set(CPACK_DEBIAN_LOMVIK_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_LOMVIK_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
Lomvik computes a 16-bit CRC over every byte of a data file, stamps it into a
companion text file, the inf file (the data file's name with .inf appended),
and seals the inf file with the CRC of its own content.

Lomvik-check verifies data files, or whole folders of them, against their inf
files: the inf file is well formed, its seal matches its content and its data
CRC matches the data file.")
find_program(LOMVIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LOMVIK_DPKG_SHLIBDEPS AND NOT CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_LOMVIK_PACKAGE_SHLIBDEPS ON)
else()
  # dpkg-shlibdeps reads this machine's libraries, not the target's.
  set(CPACK_DEBIAN_LOMVIK_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
if(CMAKE_CROSSCOMPILING AND lomvik_cpu MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)  # dpkg would name this machine's architecture
endif()

set(CPACK_DEBIAN_LIBLOMVIK-DEV_PACKAGE_NAME liblomvik-dev)
set(CPACK_DEBIAN_LIBLOMVIK-DEV_PACKAGE_SECTION libdevel)
# The CMake package names the installed programs, for lomvik_stamp().
set(CPACK_DEBIAN_LIBLOMVIK-DEV_PACKAGE_DEPENDS "lomvik (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBLOMVIK-DEV_DESCRIPTION
    "static library and headers of the ZK8/ZK9 crc calculator
The CRC-16 engine and the inf file operations of Lomvik as a static C++20
library, for programs that compute the CRC or read and write inf files, with
its headers (#include <lomvik/crc/crc16.h>), a pkg-config file and a CMake
package.

The CMake package also offers lomvik_stamp() and lomvik_stamp_file(), which
give the files a build makes their inf files, as Lomvik -n writes them.")

# Windows: lomvik-<version>-win64.zip with the programs, README.md and LICENSE, and
# liblomvik-dev-<version>-win64.zip with the library, headers and CMake package.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(lomvik_windows win64)
else()
  set(lomvik_windows win32)
endif()
set(CPACK_ARCHIVE_LOMVIK_FILE_NAME lomvik-${PROJECT_VERSION}-${lomvik_windows})
set(CPACK_ARCHIVE_LIBLOMVIK-DEV_FILE_NAME liblomvik-dev-${PROJECT_VERSION}-${lomvik_windows})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
include(CPack)
