# Installation and packages: the programs, their manual pages, the documentation and a sample
# configuration; CPack makes a Debian package on Linux and a ZIP for the Windows build.
#
#   cmake --install build --prefix /usr/local       (or DESTDIR=/tmp/stage cmake --install build)
#   cd build && cpack -G DEB                          nimbrix_<version>_<arch>.deb
#   cd build/windows && cpack -G ZIP                  nimbrix-<version>-win64.zip

set(NIMBRIX_PACKAGE_MAINTAINER "NIMBRIX maintainers <maintainers@nimbrix.example>" CACHE STRING
    "Maintainer field of the Debian package")

# Manual pages: roff sources with the version filled in, checked by a test, installed gzipped.
set(NIMBRIX_MAN_PAGES nimbrix sonde-sim)
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/man/sonde-bridge.1.in)
  list(APPEND NIMBRIX_MAN_PAGES sonde-bridge)
endif()
if(TARGET sonde-receiver)
  list(APPEND NIMBRIX_MAN_PAGES sonde-receiver)
endif()
set(man_gz)
foreach(page IN LISTS NIMBRIX_MAN_PAGES)
  set(roff ${PROJECT_BINARY_DIR}/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${roff} @ONLY)
  if(NOT WIN32)
    add_custom_command(OUTPUT ${roff}.gz
      COMMAND gzip -9 -n -c ${roff} > ${roff}.gz
      DEPENDS ${roff} VERBATIM)
    list(APPEND man_gz ${roff}.gz)
  endif()
endforeach()
if(man_gz)
  add_custom_target(man_pages ALL DEPENDS ${man_gz})
  install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES README.md docs/decoder-dbus.xml docs/NIMBRIX.INI.sample
        DESTINATION ${NIMBRIX_DOC_DIR})

# systemd user units for an unattended station (Linux): nimbrix.service, sonde-bridge.service,
# and sonde-receiver.service where the receiver is built.
if(NOT WIN32)
  file(GLOB NIMBRIX_USER_UNITS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/systemd/*.service.in)
  if(NOT TARGET sonde-receiver)
    list(FILTER NIMBRIX_USER_UNITS EXCLUDE REGEX "sonde-receiver\\.service\\.in$")
  endif()
  install(CODE "set(NIMBRIX_UNIT_SOURCES \"${NIMBRIX_USER_UNITS}\")
set(NIMBRIX_UNIT_WORK \"${PROJECT_BINARY_DIR}/systemd\")
set(NIMBRIX_UNIT_BINDIR_RELATIVE \"${CMAKE_INSTALL_BINDIR}\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install-user-units.cmake)
endif()

set(CPACK_PACKAGE_NAME nimbrix)
set(CPACK_PACKAGE_VENDOR "NIMBRIX")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${NIMBRIX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "relays radiosonde telemetry from a decoder to the APRS-IS network")
# Lines of the Debian package's long description (each gets its leading blank from CPack).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "NIMBRIX attaches to a running radiosonde decoder, reads the sonde's telemetry"
  "once a second, shows it on a text-mode dashboard and sends APRS position and"
  "status reports under the station's callsign to an APRS-IS server, with a list"
  "of servers and failover."
  "."
  "sonde-bridge serves the JSON output of the open radiosonde decoders (rs41mod"
  "and its siblings) to it over the D-Bus session bus; sonde-sim is a simulated"
  "decoder for trying a station without a radio.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME nimbrix-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NIMBRIX_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
  # A cross build names its target (the toolchain file's NIMBRIX_DEBIAN_ARCH); CPack would
  # otherwise take the build machine's architecture.
  if(NIMBRIX_DEBIAN_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${NIMBRIX_DEBIAN_ARCH})
  endif()
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link against, as dpkg-shlibdeps finds them (CPack adds them to
  # this list), and the EGM96 grid that sonde-bridge reads through PROJ for heights above sea
  # level.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "proj-data")
  # The decoder side and the station meet on a D-Bus session bus; the systemd user units need
  # the user's own bus (dbus-user-session); the radio side is optional.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus, dbus-user-session")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "rtl-sdr, sox")
endif()
include(CPack)
