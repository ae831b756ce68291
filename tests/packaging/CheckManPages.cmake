# Each manual page renders through man without a single warning: groff's
# complaints about unknown macros, bad escapes or lines it cannot fit are
# what lintian reports as errors in the package.
if(NOT MAN)
    message(FATAL_ERROR "man is not installed (package man-db)")
endif()
set(errors)
foreach(page IN LISTS PAGES)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=80
                ${MAN} --warnings -E UTF-8 -l -Tutf8 -Z ${page}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
        list(APPEND errors "${page} (${rc}): ${err}")
    endif()
    if(out STREQUAL "")
        list(APPEND errors "${page}: rendered nothing")
    endif()
endforeach()
if(errors)
    list(JOIN errors "\n  " text)
    message(FATAL_ERROR "man --warnings:\n  ${text}")
endif()
