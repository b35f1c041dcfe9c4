# Regenerates the option table into a scratch directory and compares it with the committed one.
# Variables: OPTGEN (the generator), DESCRIPTION, COMMITTED (directory of the committed table), SCRATCH.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${OPTGEN}" "${DESCRIPTION}" "${SCRATCH}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "optgen failed on ${DESCRIPTION}")
endif()
foreach(name optobj.h optobj.cpp)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SCRATCH}/${name}" "${COMMITTED}/${name}"
                  RESULT_VARIABLE different)
  if(NOT different EQUAL 0)
    message(FATAL_ERROR "${COMMITTED}/${name} does not match ${DESCRIPTION}; "
                        "run the regenerate_options target and commit the result")
  endif()
endforeach()
