# Renders the manual page with groff, which must not warn, and checks that every spelling of every
# option that help lists appears in the rendered text as a word of its own.
# Variables: GROFF, PAGE, TOOL (the page's tool), VERSION (the project's), OPTGEN (it lists the spellings of
# the option description), DESCRIPTION.
file(STRINGS "${PAGE}" title REGEX "^\\.TH ")
if(NOT title MATCHES "\"${TOOL} ${VERSION}\"")
  message(FATAL_ERROR "the title line of ${PAGE} does not name version ${VERSION}: ${title}")
endif()

execute_process(COMMAND "${GROFF}" -ww -man -Tutf8 "${PAGE}"
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE warnings)
if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff -ww -man -Tutf8 ${PAGE} ended with ${rc}:\n${warnings}")
endif()

# Plain ASCII (no overstriking), on lines too long to wrap and without hyphenation, so that every
# option is one run of characters.
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou -rLL=300n -rHY=0 "${PAGE}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE text)
execute_process(COMMAND "${OPTGEN}" --spellings "${DESCRIPTION}"
                RESULT_VARIABLE rc2 OUTPUT_VARIABLE spellings)
if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0 OR spellings STREQUAL "")
  message(FATAL_ERROR "cannot render ${PAGE} or list the options of ${DESCRIPTION}")
endif()
string(REPLACE "\n" ";" spellings "${spellings}")
set(missing "")
foreach(option IN LISTS spellings)
  string(REGEX REPLACE "([][.*+?^$()|\\])" "\\\\\\1" pattern "${option}")
  if(option AND NOT text MATCHES "(^|[] \n,[(])${pattern}([] \n,=[)]|$)")
    list(APPEND missing "${option}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${PAGE} does not show the options ${missing}")
endif()
