# `cmake --install` rules: the program plus what a freedesktop.org desktop
# needs to list it, show its icon and open .gcp files with it.
#
# Resources (icons, notation font, dictionary) are compiled into the binary,
# so nothing else is installed for the program itself. An installed program's
# folder is not writable, so it keeps settings, dictionary copy, fonts and
# cache in the user's data folder (see app/DataPaths.h).
include(GNUInstallDirs)

set(KELVO_DESKTOP_DIR ${CMAKE_CURRENT_SOURCE_DIR}/resources/desktop)

install(TARGETS kelvo-gongche RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${KELVO_DESKTOP_DIR}/kelvo-gongche.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

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
