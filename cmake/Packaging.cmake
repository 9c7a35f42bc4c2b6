# Installation and the Debian package. Included from the top-level CMakeLists.txt once
# the programs' targets exist; install destinations are relative to the prefix, so one
# set of rules serves `cmake --install --prefix`, a distribution's staging and CPack.

# Who makes the program, as the metainfo and the package name them.
set(VOQ_DEVELOPER_NAME VOQ016)

# The reverse-DNS id of the desktop application: the desktop entry, the metainfo and the
# icons are named after it.
set(VOQ_APPLICATION_ID org.voq006.voq006)

# The newest entry of the package changelog names the maintainer and gives the release
# date, so that the package and the metainfo cannot disagree with it.
set(voq_changelog ${PROJECT_SOURCE_DIR}/resources/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${voq_changelog})
file(STRINGS ${voq_changelog} voq_changelog_lines)
foreach(line IN LISTS voq_changelog_lines)
    if(NOT DEFINED voq_changelog_version AND line MATCHES "^voq006 \\(([^)]+)\\)")
        set(voq_changelog_version ${CMAKE_MATCH_1})
    elseif(line MATCHES "^ -- (.+ <[^>]+>)  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
        set(VOQ_MAINTAINER "${CMAKE_MATCH_1}")
        set(voq_day ${CMAKE_MATCH_2})
        set(voq_month_name ${CMAKE_MATCH_3})
        set(voq_year ${CMAKE_MATCH_4})
        break()
    endif()
endforeach()
if(NOT voq_changelog_version STREQUAL VOQ_DISPLAY_VERSION OR NOT DEFINED VOQ_MAINTAINER)
    message(WARNING "resources/debian/changelog has no entry for version "
                    "${VOQ_DISPLAY_VERSION} at the top, or its trailer line is malformed")
endif()
set(voq_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND voq_months "${voq_month_name}" voq_month)
math(EXPR voq_month "${voq_month} + 1" OUTPUT_FORMAT DECIMAL)
string(LENGTH "${voq_day}" voq_day_digits)
if(voq_day_digits EQUAL 1)
    set(voq_day 0${voq_day})
endif()
if(voq_month LESS 10)
    set(voq_month 0${voq_month})
endif()
set(VOQ_RELEASE_DATE "${voq_year}-${voq_month}-${voq_day}")

# Directories that installing creates are world-readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS voq006 voq006-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The reader program that both start, where they look for it (VOQ_READER_FROM_PROGRAMS).
install(TARGETS voq006-reader RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/voq006)
add_subdirectory(resources/desktop)

# The Debian package: `cpack` in a build tree, or scripts/package.sh.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME voq006)
set(CPACK_PACKAGE_VERSION ${VOQ_DISPLAY_VERSION})
set(CPACK_PACKAGE_VENDOR "${VOQ_DEVELOPER_NAME}")
set(CPACK_PACKAGE_CONTACT "${VOQ_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for RIFF/WAVE sound files")
# Paragraphs are separated by an empty line; CPack writes the control file's " ." lines.
set(CPACK_PACKAGE_DESCRIPTION [[
VOQ006 is a small single-window desktop viewer for RIFF/WAVE sound files
with 8- or 16-bit integer PCM samples. It shows the file's full path, a
one-line summary of its format and a plot of its waveform with a dotted
grid, a time axis in tenths of the duration, an automatic amplitude scale
and one trace per channel. Only one copy runs at a time. The user
interface is in Japanese.

The package also holds voq006-render, which paints the same picture into
a PNG image without a display, and makes the waveform thumbnails that file
managers show for wave files (through tumbler, or on their own).]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOQ_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps (libseccomp2 for the reader program); the font is loaded by name at run time, and the
# drawing's layout is measured for it; Qt's Japanese texts for its own dialogs are a file
# loaded at start-up.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
