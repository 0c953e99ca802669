# The command-line forms of the tag spreadsheet: `Kalder --export-csv` of a whole configuration
# and of one PLC, `Kalder --import-csv` of the whole export into a configuration without tags
# (which must give the same tags), and an import with refused rows, which must fail, report
# each row with its line on stderr and write nothing.
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

execute_process(COMMAND ${KALDER} --export-csv ${INPUT} ${work}/all.csv RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "export failed (${status}): ${errors}")
endif()
execute_process(COMMAND ${KALDER} --export-csv ${INPUT} Line1/DRIVES ${work}/drives.csv RESULT_VARIABLE status)
file(READ ${work}/drives.csv drives)
if(NOT status EQUAL 0 OR NOT drives MATCHES "\nDRIVES/MOTOR1,Speed," OR drives MATCHES "TYPES")
  message(FATAL_ERROR "export of Line1/DRIVES (${status}) is wrong:\n${drives}")
endif()

execute_process(COMMAND ${KALDER} --import-csv ${EMPTY} ${work}/all.csv ${work}/imported.xml
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "import failed (${status}): ${errors}")
endif()
execute_process(COMMAND ${KALDER} --export-csv ${work}/imported.xml ${work}/again.csv RESULT_VARIABLE status)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${work}/all.csv ${work}/again.csv RESULT_VARIABLE same)
if(NOT status EQUAL 0 OR NOT same EQUAL 0)
  message(FATAL_ERROR "the imported configuration does not hold the exported tags")
endif()

file(WRITE ${work}/bad.csv "Path;Name;DataType;DataBlock;DataByte\nLine1/DRIVES;Fine;VT_I2;1;0\nLine1;Worse;VT_XX;1;0\nNoSuchPlc;X;VT_I2;1;0\n")
execute_process(COMMAND ${KALDER} --import-csv ${EMPTY} ${work}/bad.csv ${work}/bad.xml
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(status EQUAL 0)
  message(FATAL_ERROR "an import with refused rows succeeded")
endif()
if(NOT errors MATCHES "Line 3: DataType \"VT_XX\"" OR NOT errors MATCHES "Line 4: There is no PLC named NoSuchPlc")
  message(FATAL_ERROR "refused rows not reported on stderr: ${errors}")
endif()
if(EXISTS ${work}/bad.xml)
  message(FATAL_ERROR "an import with refused rows wrote its output")
endif()
file(REMOVE_RECURSE ${work})
