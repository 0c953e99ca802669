# Runs `Kalder --convert INPUT OUTPUT`. Without EXPECT_FAILURE the conversion must succeed and
# reproduce a file in the normal form byte for byte; with it, the exit status must be non-zero
# and the problems must reach stderr.
execute_process(COMMAND ${KALDER} --convert ${INPUT} ${OUTPUT}
  RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_VARIABLE output)
if(EXPECT_FAILURE)
  if(status EQUAL 0)
    message(FATAL_ERROR "conversion of ${INPUT} succeeded although the file has faults")
  endif()
  if(NOT errors MATCHES "Error n\\. 457")
    message(FATAL_ERROR "no problem reported on stderr: ${errors}")
  endif()
  return()
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "conversion failed (${status}): ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${INPUT} ${OUTPUT} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} differs from ${INPUT}")
endif()
