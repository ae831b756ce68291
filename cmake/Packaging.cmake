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
later, on a Prometheus endpoint and an MQTT bridge; example alerting
rules come with it.
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
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The group calidor, made before udev applies the rule, so that a thermostat
# already plugged in gets its access without a replug; the options of the
# service kept across upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/resources/udev/postinst ${CMAKE_SOURCE_DIR}/resources/udev/postrm
    ${CMAKE_SOURCE_DIR}/resources/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
