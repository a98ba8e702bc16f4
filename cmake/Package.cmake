# SPDX-License-Identifier: GPL-3.0-or-later
# `cpack -G DEB` builds a Debian package of what cmake/Install.cmake
# installs (scripts/build-deb.sh runs it from a program-only Release build).
# The package needs no maintainer scripts: Debian's triggers refresh the
# desktop, MIME and icon caches for the files it puts in place.

set(KELVO_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

# Debian wants the licences and the package's history beside its
# documentation; both compressed without time stamp.
install(FILES ${KELVO_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo-gongche)
if(KELVO_GZIP)
  set(KELVO_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(CODE "execute_process(
    COMMAND \"${KELVO_GZIP}\" -9n -c \"${KELVO_PACKAGING_DIR}/changelog\"
    OUTPUT_FILE \"${KELVO_CHANGELOG_GZ}\" COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${KELVO_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo-gongche)
endif()

set(CPACK_PACKAGE_NAME kelvo-gongche)
set(CPACK_PACKAGE_VENDOR "Kelvo Gongche Developers")
set(CPACK_PACKAGE_CONTACT "Kelvo Gongche Developers <developers@kelvo.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.kelvo.example/")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for Kunqu opera scores in gongche notation")
set(CPACK_PACKAGE_DESCRIPTION
"Kelvo Gongche (Kelvo工尺谱) edits scores of Kunqu opera written in gongche
notation. The lyric is typed in one pane and, in the other, one line of
notation per sung character; the two panes stay paired through every edit
and undo. A built-in input method turns short Latin abbreviations into
notation symbols.

Scores are laid out in traditional vertical columns, right to left, and
exported as PDF, PNG, JPG or SVG, from the editor or the command line.")
set(CPACK_STRIP_FILES ON)
# Folders as Debian expects them whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The lyric and the titles are set in the system's CJK fonts (the notation
# font is built into the program); Qt's own translations put its dialogs and
# buttons in Chinese like the rest of the program.
# A General MIDI SoundFont plays the score and renders its WAV export.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "fonts-arphic-ukai | fonts-noto-cjk, qt6-translations-l10n, fluid-soundfont-gm | timgm6mb-soundfont")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
