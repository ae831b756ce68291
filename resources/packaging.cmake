# Desktop integration and device access, installed beside the program:
# the udev rule that lets the desktop user and the group calidor open the
# thermostat, the group itself, the menu entry, the AppStream description
# and the icon (these three share one id), and the system service with its
# options file.
set(CALIDOR_APP_ID "example.velmora.Calidor")
set(CALIDOR_APP_ID "${CALIDOR_APP_ID}" PARENT_SCOPE)

set(UDEV_RULES_DIR "/usr/lib/udev/rules.d" CACHE PATH
    "Where the udev rule giving the desktop user access to the thermostat is installed")

set(SYSTEMD_SYSTEM_UNIT_DIR "/usr/lib/systemd/system" CACHE PATH
    "Where the calidor-serve system unit is installed")
set(SYSUSERS_DIR "/usr/lib/sysusers.d" CACHE PATH
    "Where the file declaring the group calidor is installed")

set(CALIDOR_UDEV_RULE ${CMAKE_CURRENT_SOURCE_DIR}/udev/70-calidor-qn52w.rules)
set(CALIDOR_DESKTOP_FILE ${CMAKE_CURRENT_SOURCE_DIR}/desktop/${CALIDOR_APP_ID}.desktop)
set(CALIDOR_METAINFO_FILE ${CMAKE_CURRENT_BINARY_DIR}/${CALIDOR_APP_ID}.metainfo.xml)
configure_file(desktop/${CALIDOR_APP_ID}.metainfo.xml.in ${CALIDOR_METAINFO_FILE} @ONLY)

install(FILES ${CALIDOR_UDEV_RULE} DESTINATION ${UDEV_RULES_DIR})
install(FILES sysusers/calidor.conf DESTINATION ${SYSUSERS_DIR})
install(FILES systemd/calidor-serve.service DESTINATION ${SYSTEMD_SYSTEM_UNIT_DIR})
# Where the unit reads it, whatever the prefix; a conffile in the package.
install(FILES systemd/calidor-serve.default DESTINATION /etc/default RENAME calidor-serve)
install(FILES ${CALIDOR_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CALIDOR_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES desktop/${CALIDOR_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES desktop/${CALIDOR_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
