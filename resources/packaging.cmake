# Desktop integration and device access, installed beside the program:
# the udev rule that lets the desktop user open the thermostat, the menu
# entry, the AppStream description and the icon. The three share one id.
set(CALIDOR_APP_ID "example.velmora.Calidor")
set(CALIDOR_APP_ID "${CALIDOR_APP_ID}" PARENT_SCOPE)

set(UDEV_RULES_DIR "/usr/lib/udev/rules.d" CACHE PATH
    "Where the udev rule giving the desktop user access to the thermostat is installed")

set(CALIDOR_UDEV_RULE ${CMAKE_CURRENT_SOURCE_DIR}/udev/70-calidor-qn52w.rules)
set(CALIDOR_DESKTOP_FILE ${CMAKE_CURRENT_SOURCE_DIR}/desktop/${CALIDOR_APP_ID}.desktop)
set(CALIDOR_METAINFO_FILE ${CMAKE_CURRENT_BINARY_DIR}/${CALIDOR_APP_ID}.metainfo.xml)
configure_file(desktop/${CALIDOR_APP_ID}.metainfo.xml.in ${CALIDOR_METAINFO_FILE} @ONLY)

install(FILES ${CALIDOR_UDEV_RULE} DESTINATION ${UDEV_RULES_DIR})
install(FILES ${CALIDOR_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CALIDOR_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES desktop/${CALIDOR_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES desktop/${CALIDOR_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
