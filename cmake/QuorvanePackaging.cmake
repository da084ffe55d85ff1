# The Debian packages, made by CPack (scripts/package): `quorvane` holds the
# programs and everything they ship, `quorvane-dev` the plug-in SDK. Their
# library dependencies come from dpkg-shlibdeps, not from a list kept here.

set(QUORVANE_PACKAGE_MAINTAINER "Quorvane developers <quorvane@example.org>"
    CACHE STRING "The Maintainer field of the Debian packages and their changelog (scripts/package names the repository's author)")

# Manual pages and the packages' changelog, compressed as Debian wants them.
find_program(QUORVANE_GZIP gzip REQUIRED)
set(compressed)
foreach(page quorvane quorvane-agenda quorvane-plugin quorvane-add)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND ${QUORVANE_GZIP} -9n -c ${CMAKE_SOURCE_DIR}/man/${page}.1 > ${out}
                     DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}.1 VERBATIM)
  list(APPEND compressed ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   COMMAND ${QUORVANE_GZIP} -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog
                           > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(quorvane_compressed_docs ALL DEPENDS ${compressed})
foreach(package_and_component quorvane:programs quorvane-dev:sdk)
  string(REPLACE ":" ";" pc ${package_and_component})
  list(GET pc 0 package)
  list(GET pc 1 component)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs sdk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shipped plug-ins are libraries of their own; dpkg-shlibdeps looks at
# their dependencies too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/${QUORVANE_PLUGIN_INSTALL_DIR})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME quorvane)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION utils)
# Qt's media player crashes in its constructor without GStreamer's base and
# good plug-ins: they are needed, not recommended.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
# Speech, desktop notifications, Wayland, Qt's own texts in the user's
# language and the ALSA mixer through PulseAudio or PipeWire.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS
    "qt6-speech-speechd-plugin | qt6-speech-flite-plugin, speech-dispatcher-espeak-ng, notification-daemon, qt6-wayland, qt6-translations-l10n, libasound2-plugins")
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION
    "desktop alarm clock with alarm groups, speech and plug-ins
Quorvane keeps any number of alarms in alarm groups and sounds them on time:
once, or again and again with weekdays, a period of validity or an advanced
expression. When an alarm is due it shows an alarm window with a snooze row and
a desktop notification, speaks a text or tells the time, plays a sound, runs a
command line, starts the screen saver or shuts the computer down. Alarms missed
while the computer slept or the program was closed follow catch-up rules.
.
The package also holds quorvane-agenda, which lists the coming alarms of
alarm-group files, quorvane-add, which sets an alarm from the command line,
quorvane-plugin, which tries a plug-in component, and the
shipped plug-ins: calendar import and synchronisation (iCalendar), export to
iCalendar and keeping the computer awake.")

set(CPACK_DEBIAN_SDK_PACKAGE_NAME quorvane-dev)
set(CPACK_DEBIAN_SDK_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_SDK_PACKAGE_DEPENDS "qt6-base-dev, cmake (>= 3.25)")
set(CPACK_DEBIAN_SDK_PACKAGE_RECOMMENDS "quorvane (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_SDK_DESCRIPTION
    "plug-in SDK for the Quorvane alarm clock
The interface header, a CMake package (find_package(Quorvane)) and a guide with
a complete example component, for building plug-ins that Quorvane loads from
its PlugIns folder.")

include(CPack)
