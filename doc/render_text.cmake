# Renders a manual page as plain text (no overstriking), for hosts without a manual reader.
# Variables: GROFF, PAGE, OUT.
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou "${PAGE}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "groff could not render ${PAGE} (${rc})")
endif()
