# Builds the Debian package into a folder of its own and has lintian check
# it: any error or warning, or any other line lintian prints, fails. Tests
# may run as root (CI does), which lintian would otherwise remark on.
if(NOT LINTIAN)
    message(FATAL_ERROR "lintian is not installed (scripts/deps.sh installs it)")
endif()
file(REMOVE_RECURSE ${STAGE})
execute_process(
    COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${STAGE}
    WORKING_DIRECTORY ${BUILD_DIR}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${STAGE}/*.deb)
list(LENGTH debs count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made ${count} package(s) (${rc}):\n${out}")
endif()

execute_process(COMMAND ${LINTIAN} --allow-root --fail-on error,warning ${debs}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "lintian ${debs} (${rc}):\n${out}")
endif()
get_filename_component(name ${debs} NAME)
message(STATUS "lintian: ${name} is clean")
file(REMOVE_RECURSE ${STAGE})
