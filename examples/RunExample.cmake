# cmake -DQRPTOOL=... -DFORM=... -DDB=... -DOUT=... [-DFLAGS=--compress] -P RunExample.cmake
# Runs one example report into OUT; on failure removes what was written and stops the build with
# the report's name and qrptool's own message.

file(REMOVE ${OUT})
# A sanitizer build's qrptool would fail the build on the leak report of the libraries it loads
# (fontconfig, Qt); leaks are not what building the examples checks.
if(NOT DEFINED ENV{ASAN_OPTIONS})
  set(ENV{ASAN_OPTIONS} detect_leaks=0)
endif()
separate_arguments(FLAGS)
execute_process(COMMAND ${QRPTOOL} report ${FORM} --db ${DB} -o ${OUT} ${FLAGS}
                RESULT_VARIABLE rc
                OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${OUT})
  file(REMOVE ${OUT})
  get_filename_component(name ${FORM} NAME)
  message(FATAL_ERROR "The example report ${name} failed (qrptool exit status ${rc}):\n${err}${out}")
endif()
