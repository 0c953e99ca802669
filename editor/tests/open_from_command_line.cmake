# `Kalder FILE` opens the file in the window instead of printing the usage text. The window runs
# on the offscreen platform until the time-out ends it; that the file was opened shows in the
# Recent Files it left in its own settings folder. An option it does not know still gets the usage.
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=${work}/config
          ORVA_REGISTRY_ROOT=${work}/registry ${KALDER} ${INPUT}
  TIMEOUT 5 RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_VARIABLE output)
if(errors MATCHES "Usage")
  message(FATAL_ERROR "Kalder FILE printed the usage text (${status}): ${errors}")
endif()
file(GLOB_RECURSE settings ${work}/config/*.conf)
set(found FALSE)
foreach(conf ${settings})
  file(READ ${conf} text)
  if(text MATCHES "recentFiles=.*Tornel.xml")
    set(found TRUE)
  endif()
endforeach()
if(NOT found)
  message(FATAL_ERROR "Kalder ${INPUT} did not open the file (${status}): ${errors} ${settings}")
endif()
execute_process(COMMAND ${KALDER} --bogus RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 2 OR NOT errors MATCHES "Usage")
  message(FATAL_ERROR "an unknown option did not give the usage text (${status})")
endif()
file(REMOVE_RECURSE ${work})
