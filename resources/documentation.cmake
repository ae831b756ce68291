# What a Debian package must carry besides the programs: the manual pages,
# the copyright file and the changelog, the bash completion of calidorctl, an
# example systemd user unit and the Prometheus alerting rules. Everything compressed is gzip'd with -9n (no
# name, no time stamp), so the same sources always give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(CALIDOR_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/calidor)

set(CALIDOR_MAN_PAGES ${CMAKE_CURRENT_SOURCE_DIR}/man/calidor.1 ${CMAKE_CURRENT_SOURCE_DIR}/man/calidorctl.1)
set(CALIDOR_MAN_PAGES ${CALIDOR_MAN_PAGES} PARENT_SCOPE)
set(CALIDOR_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog)
set(CALIDOR_COMPLETION ${CMAKE_CURRENT_SOURCE_DIR}/completion/calidorctl)
set(CALIDOR_COMPLETION ${CALIDOR_COMPLETION} PARENT_SCOPE)

# calidor_gzip(<source> <name.gz>): <name.gz> in the build folder's doc/.
set(_gzipped)
function(calidor_gzip source name)
    set(plain ${CMAKE_BINARY_DIR}/doc/${name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND ${GZIP_PROGRAM} -9nf ${plain}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    set(_gzipped ${_gzipped} ${plain}.gz PARENT_SCOPE)
endfunction()

foreach(page ${CALIDOR_MAN_PAGES})
    get_filename_component(name ${page} NAME)
    # The page's footer names the version; a release must not ship an old one.
    file(STRINGS ${page} th REGEX "^\\.TH ")
    if(NOT th MATCHES "\"Calidor Configurator ${PROJECT_VERSION}\"")
        message(FATAL_ERROR "${page}: '${th}' does not name Calidor Configurator ${PROJECT_VERSION}")
    endif()
    calidor_gzip(${page} ${name})
endforeach()
calidor_gzip(${CALIDOR_CHANGELOG} changelog.Debian)
add_custom_target(calidor_docs ALL DEPENDS ${_gzipped})

foreach(page ${CALIDOR_MAN_PAGES})
    get_filename_component(name ${page} NAME)
    install(FILES ${CMAKE_BINARY_DIR}/doc/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.Debian.gz debian/copyright
        DESTINATION ${CALIDOR_PACKAGE_DOC_DIR})
install(FILES examples/calidorctl-prometheus.service DESTINATION ${CALIDOR_PACKAGE_DOC_DIR}/examples)
# Not under doc/: Prometheus may be pointed at them, and documentation may be
# left out of an installation.
install(FILES prometheus/calidor.rules.yml DESTINATION ${CMAKE_INSTALL_DATADIR}/calidor/prometheus)
install(FILES ${CALIDOR_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME calidor)
