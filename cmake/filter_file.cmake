# cmake -DTOOL=<program> [-DARGS=<a;b>] -DINPUT=<file> -DOUTPUT=<file> -P filter_file.cmake
# Runs TOOL with INPUT on standard input and its standard output into OUTPUT
# (as "TOOL ARGS < INPUT > OUTPUT", without a shell). A failing tool removes
# OUTPUT and fails the build step.
execute_process(COMMAND ${TOOL} ${ARGS}
  INPUT_FILE ${INPUT}
  OUTPUT_FILE ${OUTPUT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${TOOL} failed on ${INPUT}: ${result}")
endif()
