# cmake -DSCDOC=<scdoc> -DINPUT=<page.scd> -DOUTPUT=<page> -P scdoc_page.cmake
# Turns a scdoc source into a roff manual page. scdoc puts a paragraph macro
# (.P) around every block, also where roff has nothing to separate (right
# before or after a section heading, before the end of an indented block);
# man ignores those, but mandoc -T lint warns of each, so they are dropped
# here and the pages lint clean. The text is not touched.
execute_process(COMMAND ${SCDOC}
  INPUT_FILE ${INPUT}
  OUTPUT_VARIABLE page
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()

# A paragraph break at the end of an indented block moves behind it.
set(before "")
while(NOT before STREQUAL page)
  set(before "${page}")
  string(REPLACE "\n.P\n.RE\n" "\n.RE\n.P\n" page "${page}")
endwhile()
# None right before or right after a heading, nor at the end.
string(REGEX REPLACE "\n\\.P\n(\\.S[HS] )" "\n\\1" page "${page}")
string(REGEX REPLACE "(\n\\.S[HS] [^\n]*)\n\\.P\n" "\\1\n" page "${page}")
string(REGEX REPLACE "\n\\.P\n$" "\n" page "${page}")

file(WRITE ${OUTPUT} "${page}")
