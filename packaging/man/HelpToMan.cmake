# Turns a program's --help page into a man page, so the two never disagree.
# -DPROGRAM=<path> -DNAME=<name> -DSUMMARY=<text> -DVERSION=<v> -DOUTPUT=<file>
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${rc}")
endif()
string(REGEX REPLACE "^NAME\n[^\n]*\n\n" "" help "${help}")
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" upper)
file(WRITE "${OUTPUT}" ".TH ${upper} 1 \"December 2026\" \"Zelvan Probe ${VERSION}\" \"User Commands\"\n"
                       ".SH NAME\n${NAME} \\- ${SUMMARY}\n.SH DESCRIPTION\n.nf\n${help}\n.fi\n")
