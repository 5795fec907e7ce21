# The stub program in an empty folder: no hotkey can be registered, so it says
# why on standard error and ends with 0 at once, speaking nothing and writing
# no file. A run that waits is stopped by the time limit and fails.
# Usage: cmake -DPROGRAM=<tarrow-desk> -DWORK=<scratch folder> -P starts_and_ends.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${PROGRAM} WORKING_DIRECTORY ${WORK} TIMEOUT 10
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
# One line: the box of the exit hotkey's failure.
set(expected "^Error: Unable To register the exit hotkey\\. The app will now exit\\. [^\n]*\n$")
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "the stub program ended with \"${result}\", not 0; standard error:\n${err}")
endif()
if(NOT err MATCHES "${expected}")
  message(FATAL_ERROR "standard error was:\n${err}\nnot:\n${expected}")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "the stub program spoke:\n${out}")
endif()
file(GLOB left ${WORK}/*)
if(left)
  message(FATAL_ERROR "the stub program left files behind: ${left}")
endif()
