# cmake -DCMARK=... -DSOURCE=page.md -DOUTPUT=page.html -P page.cmake
execute_process(COMMAND ${CMARK} --smart ${SOURCE} OUTPUT_VARIABLE body RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmark failed on ${SOURCE}")
endif()
file(STRINGS ${SOURCE} first LIMIT_COUNT 1)
string(REGEX REPLACE "^# *" "" title "${first}")
# Links between the guide's pages point at their HTML forms.
string(REPLACE "href=\"user-guide.md" "href=\"index.html" body "${body}")
string(REPLACE "href=\"faq.md" "href=\"faq.html" body "${body}")
file(WRITE ${OUTPUT} "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">
<title>${title}</title>
<style>
:root { color-scheme: light dark; }
body { font-family: system-ui, sans-serif; max-width: 48em; margin: 2em auto; padding: 0 1em; line-height: 1.5; }
img { max-width: 100%; height: auto; border: 1px solid #8884; }
code { font-size: 0.95em; }
nav { margin-bottom: 1.5em; }
</style>
</head>
<body>
<nav><a href=\"index.html\">User guide</a> · <a href=\"faq.html\">FAQ</a></nav>
${body}</body>
</html>
")
