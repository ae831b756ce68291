# Installs the build into a staging folder as the package does (prefix /usr)
# and checks what lands there: the program, its pictures and help, the udev
# rule and the group it names, the system service and its options, and
# desktop files that the freedesktop validators accept.
set(errors)
macro(expect_file path)
    if(NOT EXISTS "${STAGE}${path}")
        list(APPEND errors "not installed: ${path}")
    endif()
endmacro()

file(REMOVE_RECURSE ${STAGE})
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

if(PROGRAM)
    expect_file(/usr/bin/${PROGRAM})
endif()
file(GLOB imgs RELATIVE ${SOURCE_DIR}/resources/imgs ${SOURCE_DIR}/resources/imgs/*)
foreach(f IN LISTS imgs)
    expect_file(/usr/share/calidor/imgs/${f})
endforeach()
file(GLOB help RELATIVE ${SOURCE_DIR}/resources/help ${SOURCE_DIR}/resources/help/*)
foreach(f IN LISTS help)
    expect_file(/usr/share/calidor/${f})
endforeach()

expect_file(${UDEV_RULES_DIR}/70-calidor-qn52w.rules)
expect_file(${SYSUSERS_DIR}/calidor.conf)
expect_file(${SYSTEMD_SYSTEM_UNIT_DIR}/calidor-serve.service)
expect_file(/etc/default/calidor-serve)
expect_file(/usr/share/calidor/prometheus/calidor.rules.yml)

# What Debian asks of every package, and the command line's documents.
foreach(f /usr/share/man/man1/calidor.1.gz /usr/share/man/man1/calidorctl.1.gz
          /usr/share/doc/calidor/copyright /usr/share/doc/calidor/changelog.Debian.gz
          /usr/share/doc/calidor/examples/calidorctl-prometheus.service
          /usr/share/bash-completion/completions/calidorctl)
    expect_file(${f})
endforeach()

set(desktop ${STAGE}/usr/share/applications/${APP_ID}.desktop)
set(metainfo ${STAGE}/usr/share/metainfo/${APP_ID}.metainfo.xml)
expect_file(/usr/share/applications/${APP_ID}.desktop)
expect_file(/usr/share/metainfo/${APP_ID}.metainfo.xml)
expect_file(/usr/share/icons/hicolor/128x128/apps/${APP_ID}.png)
expect_file(/usr/share/icons/hicolor/scalable/apps/${APP_ID}.svg)
if(errors)
    list(JOIN errors "\n  " text)
    message(FATAL_ERROR "Install layout:\n  ${text}")
endif()

# The three desktop pieces name each other by the one id.
file(STRINGS ${desktop} exec REGEX "^Exec=")
file(STRINGS ${desktop} icon REGEX "^Icon=")
if(PROGRAM AND NOT exec STREQUAL "Exec=${PROGRAM}")
    list(APPEND errors "desktop entry starts '${exec}', the program is ${PROGRAM}")
endif()
if(NOT icon STREQUAL "Icon=${APP_ID}")
    list(APPEND errors "desktop entry icon '${icon}' is not ${APP_ID}")
endif()
file(READ ${metainfo} xml)
if(NOT xml MATCHES "<id>${APP_ID}</id>")
    list(APPEND errors "metainfo id is not ${APP_ID}")
endif()
if(NOT xml MATCHES "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>")
    list(APPEND errors "metainfo does not launch ${APP_ID}.desktop")
endif()

foreach(tool DESKTOP_FILE_VALIDATE APPSTREAMCLI)
    if(NOT ${tool})
        list(APPEND errors "${tool} not found")
    endif()
endforeach()
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    message(STATUS "desktop-file-validate: ${rc} ${out}")
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        list(APPEND errors "desktop-file-validate: ${out}")
    endif()
endif()
if(APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --no-color ${metainfo}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    message(STATUS "appstreamcli validate: ${rc}\n${out}")
    if(NOT rc EQUAL 0)
        list(APPEND errors "appstreamcli validate: ${out}")
    endif()
endif()

if(errors)
    list(JOIN errors "\n  " text)
    message(FATAL_ERROR "${text}")
endif()
file(REMOVE_RECURSE ${STAGE})
