# The thermostat's udev rule: its hidraw nodes, and nothing else, are handed
# to the seat's user through the uaccess tag.
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
            [[ATTRS{idProduct}=="5000"]]
            [[TAG+="uaccess"]])
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
    # The only assignment is the tag: no file mode (world-writable or not),
    # owner, group, program or jump that would reach beyond this device.
    string(REGEX MATCHALL "[A-Z]+({[^}]*})?[+:-]?=[^=]" assignments "${rule}")
    foreach(a IN LISTS assignments)
        string(REGEX REPLACE ".$" "" a "${a}")
        if(NOT a STREQUAL "TAG+=")
            list(APPEND errors "unexpected assignment ${a}")
        endif()
    endforeach()
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
message(STATUS "${name}: one rule, uaccess tag only")
