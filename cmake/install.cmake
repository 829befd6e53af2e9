# Install rules, in two components that become the two Debian packages (and the two Windows
# zips): lomvik, the programs with their manual pages, completions and documents; and
# liblomvik-dev, the static library, its headers, the CMake package and the pkg-config file.
# Included from the top CMakeLists.txt after lomvik_public_headers is set.

include(CMakePackageConfigHelpers)

set(lomvik_maintainer "Lomvik maintainers <maintainers@lomvik.org>")
set(lomvik_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/lomvik)
set(lomvik_dev_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/liblomvik-dev)

# The programs. They are in the export set too, as lomvik::Lomvik and lomvik::Lomvik-check, for
# lomvik_stamp(); so the CMake package (liblomvik-dev) needs the programs (lomvik) beside it.
install(TARGETS Lomvik Lomvik-check EXPORT lomvikTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lomvik)

# The library and its public headers.
install(TARGETS lomvik_core lomvik_warnings EXPORT lomvikTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT liblomvik-dev)
foreach(header IN LISTS lomvik_public_headers)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lomvik/${folder}
          COMPONENT liblomvik-dev)
endforeach()

# The CMake package: find_package(lomvik) gives lomvik::core, lomvik::Lomvik, lomvik_stamp() and
# lomvik_stamp_file().
install(EXPORT lomvikTargets NAMESPACE lomvik:: DESTINATION ${lomvik_cmake_dir}
        COMPONENT liblomvik-dev)
configure_package_config_file(cmake/lomvikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/lomvikConfig.cmake INSTALL_DESTINATION ${lomvik_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/lomvikConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lomvikConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/lomvikConfigVersion.cmake
              cmake/lomvikStamp.cmake
        DESTINATION ${lomvik_cmake_dir} COMPONENT liblomvik-dev)

# The pkg-config file.
if(WIN32)
  # A zip is unpacked anywhere: the prefix is found from the place of the .pc file.
  file(RELATIVE_PATH lomvik_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" lomvik_pc_up "${lomvik_pc_up}")
  set(lomvik_pc_prefix "\${pcfiledir}/${lomvik_pc_up}")
  configure_file(cmake/lomvik.pc.in lomvik.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lomvik.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT liblomvik-dev)
else()
  # The prefix is the one installed to (cmake --install --prefix, or /usr in a .deb), known only
  # at install time.
  set(lomvik_pc_prefix "@lomvik_pc_prefix@")
  configure_file(cmake/lomvik.pc.in lomvik.pc.in @ONLY)
  install(CODE "
    set(lomvik_pc_prefix \"\${CMAKE_INSTALL_PREFIX}\")
    set(lomvik_pc \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/lomvik.pc\")
    message(STATUS \"Installing: \${lomvik_pc}\")
    configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/lomvik.pc.in\" \"\${lomvik_pc}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${lomvik_pc}\")
    " COMPONENT liblomvik-dev)
endif()

if(WIN32)
  # The zips: README.md and LICENSE at the top, beside bin/.
  install(FILES README.md LICENSE DESTINATION . COMPONENT lomvik)
  install(FILES LICENSE DESTINATION . COMPONENT liblomvik-dev)
  return()
endif()

# Manual pages and changelogs are installed compressed with gzip -9n: no name and no time in the
# header, the same bytes from every build.
find_program(LOMVIK_GZIP gzip REQUIRED)
function(lomvik_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${LOMVIK_GZIP} -DINPUT=${source} -DOUTPUT=${output}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/gzip.cmake
    DEPENDS ${source} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/gzip.cmake VERBATIM)
endfunction()
set(lomvik_gzipped)
foreach(page Lomvik.1 Lomvik-check.1)
  lomvik_gzip(${CMAKE_CURRENT_SOURCE_DIR}/docs/${page} ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  list(APPEND lomvik_gzipped ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT lomvik)
endforeach()

# A Debian changelog; its latest entry must name this version.
file(STRINGS packaging/changelog lomvik_changelog_top LIMIT_COUNT 1)
if(NOT lomvik_changelog_top MATCHES "^lomvik \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the latest entry is not for version "
                      "${PROJECT_VERSION}: ${lomvik_changelog_top}")
endif()
lomvik_gzip(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog
            ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
list(APPEND lomvik_gzipped ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_target(lomvik_gzipped_docs ALL DEPENDS ${lomvik_gzipped})

# The copyright file in Debian's machine-readable format, its licence text taken from LICENSE.
file(READ LICENSE lomvik_licence)
string(FIND "${lomvik_licence}" "Permission is hereby granted" lomvik_licence_start)
string(SUBSTRING "${lomvik_licence}" ${lomvik_licence_start} -1 lomvik_licence)
string(STRIP "${lomvik_licence}" lomvik_licence)
string(REPLACE "\n\n" "\n.\n" lomvik_licence "${lomvik_licence}")
string(REPLACE "\n" "\n " lomvik_licence " ${lomvik_licence}")
configure_file(packaging/copyright.in copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE packaging/changelog)

install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT lomvik)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${lomvik_dev_docdir} COMPONENT liblomvik-dev)
install(FILES completions/Lomvik completions/Lomvik-check
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT lomvik)
