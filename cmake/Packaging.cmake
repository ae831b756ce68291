# `make package`: a Debian package of everything `cmake --install` lays out.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "calidor")
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configurator for the Calidor QN52-W USB thermostat")
# Lines kept short for the package's control file.
set(CPACK_PACKAGE_DESCRIPTION "Desktop companion of the Calidor QN52-W USB thermostat. It finds the
thermostat on the USB bus, reads it ten times a second and shows the
measured temperature, the relay state and mode, both switching thresholds
and the probe status; new thresholds and a relay mode can be sent to it.
The user interface is in French.
.
The command-line tool calidorctl reads, logs (CSV, JSON Lines or a file
for the Prometheus textfile collector) and sets the thermostat from a
shell or a script, without a display.
.
calidorctl serve, run as the system service calidor-serve (installed,
not enabled), serves every thermostat plugged into the machine, now or
later, on a web dashboard, a Prometheus endpoint and an MQTT bridge;
example alerting rules come with it. The dashboard draws its graphs with
Debian's dygraphs and asks for a login once a user is configured.
.
A udev rule gives the user at the local seat and the members of the
system group calidor, which the package creates, access to the
thermostat.")
set(CPACK_PACKAGE_CONTACT "Velmora support <support@velmora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

# The Debian revision comes from the top entry of the package's changelog,
# whose upstream part must be this version: a release that forgets the
# changelog stops here rather than shipping a stale one.
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/debian/changelog _changelog_top LIMIT_COUNT 1)
if(NOT _changelog_top MATCHES "^calidor \\(([^-)]+)-([^)]+)\\) ")
    message(FATAL_ERROR "resources/debian/changelog: the first line is not 'calidor (VERSION-REVISION) ...'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "resources/debian/changelog starts at ${CMAKE_MATCH_1}, the project is ${PROJECT_VERSION}: "
                        "add an entry for ${PROJECT_VERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE "${CMAKE_MATCH_2}")
# Directories the install creates get the usual mode whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora support <support@velmora.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.velmora.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dashboard's chart library, served from /usr/share/javascript/.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjs-dygraphs")
# CPack labels the package with the build machine's architecture; a cross
# build is labelled with its target's, and dpkg-shlibdeps then reads that
# architecture's libraries (and its objdump) for the dependencies.
if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
        OUTPUT_VARIABLE _deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0 OR _deb_arch STREQUAL "")
        message(FATAL_ERROR "dpkg-architecture does not know the target ${CMAKE_LIBRARY_ARCHITECTURE}")
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_deb_arch})
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackTarget.cmake)
    file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(ENV{DEB_HOST_ARCH} ${_deb_arch})\n")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The group calidor, made before udev applies the rule, so that a thermostat
# already plugged in gets its access without a replug; the options of the
# service kept across upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/resources/udev/postinst ${CMAKE_SOURCE_DIR}/resources/udev/postrm
    ${CMAKE_SOURCE_DIR}/resources/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
