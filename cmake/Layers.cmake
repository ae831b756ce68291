# The program's layers, and the check that keeps them.
#
#
# For every library of ours: which of our libraries it may reach, directly or
# through others. A dependency points down; only the window libraries reach
# QtGui or QtWidgets; only hidraw uses libudev;
# only mqtt uses libmosquitto; only history uses SQLite (and libcsv); only web uses
# yaml-cpp and libcrypt; only alerts uses libcurl. The check reads the links
# the build really has, so a wrong target_link_libraries() fails at configure
# time, before anything is compiled.
set(CALIDOR_LAYERS
    "calidor_hid:"
    "calidor_hidraw:calidor_hid"
    "calidor_simulator:calidor_hid"
    "calidor_device:calidor_hid"
    "calidor_platform_interfaces:"
    "calidor_thermostat:calidor_device,calidor_hid,calidor_platform_interfaces"
    "calidor_link:calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_schedule:calidor_link,calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_alerts:calidor_schedule,calidor_link,calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_mqtt:"
    "calidor_history:"
    "calidor_web:calidor_link,calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_service:calidor_alerts,calidor_schedule,calidor_web,calidor_link,calidor_mqtt,calidor_history,calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_cli:calidor_service,calidor_alerts,calidor_schedule,calidor_web,calidor_link,calidor_mqtt,calidor_history,calidor_thermostat,calidor_device,calidor_hid,calidor_simulator,calidor_platform_interfaces"
    "calidor_kernelemu:calidor_simulator,calidor_hid"
    "calidor_memedit:"
    "calidor_memedit_view:calidor_memedit"
    "calidor_platform:calidor_platform_interfaces"
    "calidor_windows:calidor_platform,calidor_platform_interfaces"
    "calidor_console:calidor_thermostat,calidor_device,calidor_hid,calidor_memedit_view,calidor_memedit,calidor_windows,calidor_platform,calidor_platform_interfaces")
# Libraries that may show a window.
set(CALIDOR_GUI_LAYERS calidor_platform calidor_windows calidor_memedit_view calidor_console)
# Programs that must run without a display.
set(CALIDOR_HEADLESS_PROGRAMS calidorctl)

set(CALIDOR_GUI_LINKS Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
set(CALIDOR_UDEV_LINKS PkgConfig::UDEV udev)
set(CALIDOR_MOSQUITTO_LINKS PkgConfig::MOSQUITTO mosquitto)
set(CALIDOR_SQLITE_LINKS PkgConfig::SQLITE3 sqlite3 csv ${CSV_LIBRARY})
set(CALIDOR_WEB_LINKS yaml-cpp yaml-cpp-cross PkgConfig::CRYPT crypt)
set(CALIDOR_CURL_LINKS PkgConfig::CURL curl)

# The direct links of a target, as names (generator expressions that only
# wrap a name are unwrapped).
function(_calidor_direct_links target out)
    get_target_property(_type ${target} TYPE)
    set(_links)
    if(NOT _type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(_l ${target} LINK_LIBRARIES)
        if(_l)
            list(APPEND _links ${_l})
        endif()
    endif()
    get_target_property(_il ${target} INTERFACE_LINK_LIBRARIES)
    if(_il)
        list(APPEND _links ${_il})
    endif()
    set(_names)
    foreach(_x IN LISTS _links)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _x "${_x}")
        if(_x MATCHES "^\\$<")
            continue()
        endif()
        list(APPEND _names ${_x})
    endforeach()
    list(REMOVE_DUPLICATES _names)
    set(${out} ${_names} PARENT_SCOPE)
endfunction()

# Everything a target reaches through its links.
function(_calidor_reach target out)
    set(_seen)
    set(_todo ${target})
    while(_todo)
        list(POP_FRONT _todo _t)
        if(NOT TARGET ${_t})
            continue()
        endif()
        _calidor_direct_links(${_t} _d)
        foreach(_x IN LISTS _d)
            if(NOT _x IN_LIST _seen)
                list(APPEND _seen ${_x})
                list(APPEND _todo ${_x})
            endif()
        endforeach()
    endwhile()
    set(${out} ${_seen} PARENT_SCOPE)
endfunction()

# Fails with one line per broken rule. `dirs`: the folders whose libraries
# must each have a place in the table.
function(calidor_check_layers dirs)
    set(_errors)
    set(_known)
    foreach(_rule IN LISTS CALIDOR_LAYERS)
        string(REPLACE ":" ";" _parts "${_rule}")
        list(GET _parts 0 _lib)
        list(LENGTH _parts _n)
        set(_allowed)
        if(_n GREATER 1)
            list(GET _parts 1 _a)
            string(REPLACE "," ";" _allowed "${_a}")
        endif()
        list(APPEND _known ${_lib})
        if(NOT TARGET ${_lib})
            continue()
        endif()
        _calidor_reach(${_lib} _reach)
        foreach(_x IN LISTS _reach)
            if(_x MATCHES "^calidor_" AND NOT _x STREQUAL "calidor_warnings" AND NOT _x STREQUAL _lib
               AND NOT _x IN_LIST _allowed)
                list(APPEND _errors "${_lib} links ${_x}, which is not below it")
            endif()
            if(_x IN_LIST CALIDOR_GUI_LINKS AND NOT _lib IN_LIST CALIDOR_GUI_LAYERS)
                list(APPEND _errors "${_lib} links ${_x}: only the window libraries may")
            endif()
        endforeach()
        # libudev is hidraw's own business (libmosquitto mqtt's, SQLite history's, libcurl alerts'): a static library passes it on to
        # whoever links hidraw, so only direct uses count.
        _calidor_direct_links(${_lib} _direct)
        foreach(_x IN LISTS _direct)
            if(_x IN_LIST CALIDOR_UDEV_LINKS AND NOT _lib STREQUAL "calidor_hidraw")
                list(APPEND _errors "${_lib} links ${_x}: only calidor_hidraw may")
            endif()
            if(_x IN_LIST CALIDOR_MOSQUITTO_LINKS AND NOT _lib STREQUAL "calidor_mqtt")
                list(APPEND _errors "${_lib} links ${_x}: only calidor_mqtt may")
            endif()
            if(_x IN_LIST CALIDOR_SQLITE_LINKS AND NOT _lib STREQUAL "calidor_history")
                list(APPEND _errors "${_lib} links ${_x}: only calidor_history may")
            endif()
            if(_x IN_LIST CALIDOR_WEB_LINKS AND NOT _lib STREQUAL "calidor_web")
                list(APPEND _errors "${_lib} links ${_x}: only calidor_web may")
            endif()
            if(_x IN_LIST CALIDOR_CURL_LINKS AND NOT _lib STREQUAL "calidor_alerts")
                list(APPEND _errors "${_lib} links ${_x}: only calidor_alerts may")
            endif()
        endforeach()
    endforeach()
    # A new library of ours needs its place in the table above.
    set(_todo ${dirs})
    while(_todo)
        list(POP_FRONT _todo _dir)
        get_property(_subs DIRECTORY ${_dir} PROPERTY SUBDIRECTORIES)
        list(APPEND _todo ${_subs})
        get_property(_targets DIRECTORY ${_dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(_t IN LISTS _targets)
            get_target_property(_type ${_t} TYPE)
            if(_type MATCHES "LIBRARY$" AND _t MATCHES "^calidor_" AND NOT _t STREQUAL "calidor_warnings"
               AND NOT _t IN_LIST _known)
                list(APPEND _errors "${_t} has no place in CALIDOR_LAYERS (cmake/Layers.cmake)")
            endif()
        endforeach()
    endwhile()
    foreach(_p IN LISTS CALIDOR_HEADLESS_PROGRAMS)
        if(TARGET ${_p})
            _calidor_reach(${_p} _reach)
            foreach(_x IN LISTS _reach)
                if(_x IN_LIST CALIDOR_GUI_LINKS OR _x IN_LIST CALIDOR_GUI_LAYERS)
                    list(APPEND _errors "${_p} links ${_x}: it must run without a display")
                endif()
            endforeach()
        endif()
    endforeach()
    if(_errors)
        list(JOIN _errors "\n  " _text)
        message(FATAL_ERROR "Layer check failed:\n  ${_text}")
    endif()
    message(STATUS "Layer check: every library links only what lies below it")
endfunction()
