# The thermostat's udev rule: its hidraw nodes, and nothing else, are handed
# to the seat's user through the uaccess tag and to the group calidor, with
# no world access.
get_filename_component(name ${RULE} NAME)
file(STRINGS ${RULE} lines)

set(rules)
foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
        continue()
    endif()
    list(APPEND rules "${line}")
endforeach()

set(errors)
list(LENGTH rules count)
if(NOT count EQUAL 1)
    list(APPEND errors "expected exactly one rule, found ${count}")
endif()

foreach(rule IN LISTS rules)
    foreach(needed
            [[SUBSYSTEM=="hidraw"]]
            [[ATTRS{idVendor}=="0925"]]
            [[ATTRS{idProduct}=="5000"]])
        string(FIND "${rule}" "${needed}" at)
        if(at EQUAL -1)
            list(APPEND errors "rule lacks ${needed}")
        endif()
    endforeach()
    # sysfs writes the ids as four lower-case hex digits; anything else never matches.
    foreach(attr idVendor idProduct)
        if(rule MATCHES "ATTRS{${attr}}==\"([^\"]*)\"")
            set(value "${CMAKE_MATCH_1}")
            if(NOT value MATCHES "^[0-9a-f][0-9a-f][0-9a-f][0-9a-f]$")
                list(APPEND errors "${attr} \"${value}\" is not as sysfs writes it")
            endif()
        endif()
    endforeach()
    # The only assignments are these three, each once: no other mode (world
    # access above all), owner, program or jump that would reach beyond
    # this device, and nothing that would take the tag or group back.
    string(REGEX MATCHALL "[A-Z]+({[^}]*})?[+:-]?=\"[^\"]*\"" assignments "${rule}")
    set(allowed [[TAG+="uaccess"]] [[GROUP="calidor"]] [[MODE="0660"]])
    foreach(a IN LISTS assignments)
        list(FIND allowed "${a}" at)
        if(at EQUAL -1)
            list(APPEND errors "unexpected assignment ${a}")
        endif()
    endforeach()
    foreach(a IN LISTS allowed)
        list(FIND assignments "${a}" at)
        if(at EQUAL -1)
            list(APPEND errors "rule lacks ${a}")
        endif()
    endforeach()
    list(LENGTH assignments n)
    list(REMOVE_DUPLICATES assignments)
    list(LENGTH assignments unique)
    if(NOT n EQUAL unique)
        list(APPEND errors "an assignment is repeated")
    endif()
endforeach()

# uaccess is applied by 73-seat-late.rules: ours must be read before it.
if(NOT name STRLESS "73-seat-late.rules")
    list(APPEND errors "${name} does not sort before 73-seat-late.rules")
endif()
if(NOT name MATCHES "\\.rules$")
    list(APPEND errors "${name} does not end in .rules")
endif()

if(errors)
    list(JOIN errors "\n  " text)
    message(FATAL_ERROR "${RULE}:\n  ${text}")
endif()
message(STATUS "${name}: one rule, uaccess tag and group calidor 0660 only")
