# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` rules: the program plus what a freedesktop.org desktop
# needs to list it, show its icon and open .gcp files with it, its
# software-centre entry and its manual page.
#
# Resources (icons, notation font, dictionary) are compiled into the binary,
# so nothing else is installed for the program itself. An installed program's
# folder is not writable, so it keeps settings, dictionary copy, fonts and
# cache in the user's data folder (see core/DataPaths.h).
include(GNUInstallDirs)

set(KELVO_DESKTOP_DIR ${CMAKE_CURRENT_SOURCE_DIR}/resources/desktop)

install(TARGETS kelvo-gongche RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cmake --install --strip, the package) also drops the
# compiler's notes, as Debian's own packaging does.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kelvo-gongche\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")

# The program tells that it is installed by this entry beside bin/, so its
# name stays the executable's.
install(FILES ${KELVO_DESKTOP_DIR}/kelvo-gongche.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

install(FILES ${KELVO_DESKTOP_DIR}/example.kelvo.gongche.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages are kept compressed; gzip -n leaves out the time stamp, so the
# package's contents depend on the sources alone.
find_program(KELVO_GZIP gzip)
if(KELVO_GZIP)
  set(KELVO_MAN_GZ ${CMAKE_CURRENT_BINARY_DIR}/kelvo-gongche.1.gz)
  install(CODE "execute_process(
    COMMAND \"${KELVO_GZIP}\" -9n -c \"${KELVO_DESKTOP_DIR}/kelvo-gongche.1\"
    OUTPUT_FILE \"${KELVO_MAN_GZ}\" COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${KELVO_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${KELVO_DESKTOP_DIR}/kelvo-gongche.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The .gcp file type; the desktop's mime database must be rebuilt after
# installing (update-mime-database), which packagers do in a trigger.
install(FILES ${KELVO_DESKTOP_DIR}/kelvo-gongche.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# Application icon: pre-rendered PNGs (resources/icons/render-icons.sh) for
# the fixed sizes, the SVG source for scalable.
foreach(size 16 32 48 64 128 256)
  install(FILES ${KELVO_DESKTOP_DIR}/icons/${size}x${size}/kelvo-gongche.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/svg/logo-qt.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME kelvo-gongche.svg)
