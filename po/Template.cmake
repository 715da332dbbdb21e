# Extracts the widget's texts into a gettext template. The catalog is keyed by "widget…" keys, not
# by the English text, so xgettext reads Key(key, English) as (context, text) and this script turns
# each entry back into msgid = key with the English text as an extracted comment.
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --no-wrap --sort-by-file
          --keyword= --keyword=Key:1c,2 --package-name=kelvo-widget --package-version=${VERSION}
          --output=- ${SOURCES}
  WORKING_DIRECTORY ${SOURCE_DIR}
  OUTPUT_VARIABLE pot
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "xgettext failed")
endif()
string(REGEX REPLACE "(#: [^\n]*\n)msgctxt (\"[^\n]*\")\nmsgid (\"[^\n]*\")" "#. English: \\3\n\\1msgid \\2" pot "${pot}")
string(REPLACE "\"Content-Type: text/plain; charset=CHARSET\\n\"" "\"Content-Type: text/plain; charset=UTF-8\\n\"" pot "${pot}")
file(WRITE ${OUTPUT} "${pot}")
