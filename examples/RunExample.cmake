# cmake -DQRPTOOL=... -DFORM=... -DDB=... -DOUT=... [-DFLAGS=--compress] -P RunExample.cmake
# Runs one example report into OUT; on failure removes what was written and stops the build with
# the report's name and qrptool's own message.

file(REMOVE ${OUT})
execute_process(COMMAND ${QRPTOOL} report ${FORM} --db ${DB} -o ${OUT} ${FLAGS}
                RESULT_VARIABLE rc
                OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${OUT})
  file(REMOVE ${OUT})
  get_filename_component(name ${FORM} NAME)
  message(FATAL_ERROR "The example report ${name} failed (qrptool exit status ${rc}):\n${err}${out}")
endif()
