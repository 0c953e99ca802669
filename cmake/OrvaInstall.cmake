# Installing the gateway's programs, for `cmake --install` and the Debian packages (packaging/).
#
#   orva_install_program(<target> COMPONENT <gateway|kalder|plcsim>)
#     installs the executable to bin and its man page to share/man/man1, both in the component
#     (the Debian package) named. The man page is compiled with scdoc from the text source
#     docs/man/<target>.1.scd, which every installed program must have.
include(GNUInstallDirs)
find_program(ORVA_SCDOC scdoc)
if(NOT ORVA_SCDOC)
  message(STATUS "scdoc not found: man pages are not built (scripts/setup installs it)")
endif()

function(orva_install_program target)
  cmake_parse_arguments(P "" "COMPONENT" "" ${ARGN})
  if(NOT P_COMPONENT)
    message(FATAL_ERROR "orva_install_program(${target}): COMPONENT gateway, kalder or plcsim is required")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${P_COMPONENT})
  # The target orva_packaged (packaging/) builds everything the packages hold.
  set_property(GLOBAL APPEND PROPERTY ORVA_INSTALLED_TARGETS ${target})

  set(source ${PROJECT_SOURCE_DIR}/docs/man/${target}.1.scd)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "orva_install_program(${target}): its man page source docs/man/${target}.1.scd is missing")
  endif()
  if(NOT ORVA_SCDOC)
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "'${ORVA_SCDOC}' < '${source}' | gzip -9n > '${page}'"
    DEPENDS ${source}
    COMMENT "Man page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  set_property(GLOBAL APPEND PROPERTY ORVA_INSTALLED_TARGETS ${target}_man)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${P_COMPONENT})
endfunction()
