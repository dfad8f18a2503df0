# Documentation install rules and the Debian package (CPack's DEB generator).
# Included from the top-level CMakeLists.txt after every program's directory,
# so that the package holds whatever the project installs (verrowick, the tnef
# and ytnef links and rtf2html). tools/package.sh builds the package.

option(VERROWICK_DEBIAN_DOCS
       "Install the manual page and the Debian changelog compressed, as a Debian package has them"
       OFF)

set(VERROWICK_DOC_DIR share/doc/verrowick)
install(FILES README.md INSTALL DESTINATION ${VERROWICK_DOC_DIR})
install(FILES packaging/copyright DESTINATION ${VERROWICK_DOC_DIR})

if(VERROWICK_DEBIAN_DOCS)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(man_gz ${PROJECT_BINARY_DIR}/doc/verrowick.8.gz)
  set(changelog_gz ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz)
  # -n: no name or time stamp inside, so that builds are reproducible.
  add_custom_command(
    OUTPUT ${man_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
    COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/doc/verrowick.8 > ${man_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/verrowick.8
    VERBATIM)
  add_custom_command(
    OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
    COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(verrowick_debian_docs ALL DEPENDS ${man_gz} ${changelog_gz})
  install(FILES ${man_gz} DESTINATION share/man/man8)
  install(FILES ${changelog_gz} DESTINATION ${VERROWICK_DOC_DIR})
  install(FILES packaging/lintian-overrides DESTINATION share/lintian/overrides
          RENAME verrowick)
else()
  install(FILES doc/verrowick.8 DESTINATION share/man/man8)
endif()

# The package's version comes from the first line of packaging/changelog,
# "verrowick (UPSTREAM-REVISION) ...", whose upstream part must be the
# project's version.
file(STRINGS packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^verrowick \\(([^-)]+)-([^)]+)\\)")
  message(FATAL_ERROR "packaging/changelog: the first line must read "
                      "\"verrowick (VERSION-REVISION) ...\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog is for version ${CMAKE_MATCH_1}, the project is "
                      "${PROJECT_VERSION}: add a changelog entry for ${PROJECT_VERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})

set(VERROWICK_MAINTAINER "Quillmere Verrowick maintainers <verrowick@quillmere.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME verrowick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_CONTACT "${VERROWICK_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # verrowick_VERSION-REVISION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VERROWICK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries (libc, libstdc++, Boost.Program_options) come from
# dpkg-shlibdeps. tnef is run as a program, and the content types of the
# extracted files come from media-types' /etc/mime.types. Calendar items are
# converted with ytnef (ytnef-tools), which the rest of the work does not need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tnef, media-types")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ytnef-tools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "winmail.dat (TNEF) converter for the CommuniGate Pro mail server")
set(CPACK_PACKAGE_DESCRIPTION
    "Some mail programs pack a message's attachments and its rich-text body
into one winmail.dat attachment (TNEF, application/ms-tnef) that other
mail programs cannot open. verrowick finds those attachments, unpacks them
with tnef, turns the RTF body into HTML, and rewrites the message so that
every extracted file becomes an ordinary MIME part.

It runs as a CommuniGate Pro external filter (content-filtering helper),
or converts the messages already stored in a mailbox directory in place.")
# Maintainer scripts get mode 0755, the other control files 0644.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postrm)
# A package from a build without VERROWICK_DEBIAN_DOCS lacks the compressed
# manual page and changelog that Debian wants: say so when cpack runs.
if(NOT VERROWICK_DEBIAN_DOCS)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
       "message(WARNING \"This build was configured without VERROWICK_DEBIAN_DOCS: "
       "build the package with tools/package.sh\")\n")
endif()
include(CPack)
