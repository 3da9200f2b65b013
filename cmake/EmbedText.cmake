# Writes text files into a C++ source as string views, so that programs carry them (the web viewer's
# markup, style sheet and script in qrptool).
# cmake -DOUTPUT=File.cpp -DNAMESPACE=ns -DINPUTS="a.js|b.css" -P EmbedText.cmake
# Each file becomes `extern const std::string_view NameExt` (viewer.js -> ViewerJs).
string(REPLACE "|" ";" inputs "${INPUTS}")
set(body "// Made by cmake/EmbedText.cmake from the files named below; edit those.\n#include <string_view>\n\nnamespace ${NAMESPACE} {\n")
foreach(input ${inputs})
  file(READ "${input}" text)
  get_filename_component(name "${input}" NAME)
  string(REGEX REPLACE "[^A-Za-z0-9]+" ";" parts "${name}")
  set(symbol "")
  foreach(part ${parts})
    string(SUBSTRING "${part}" 0 1 first)
    string(SUBSTRING "${part}" 1 -1 rest)
    string(TOUPPER "${first}" first)
    string(APPEND symbol "${first}${rest}")
  endforeach()
  string(APPEND body "// ${name}\nextern const std::string_view ${symbol};\nconst std::string_view ${symbol} = R\"PAGIMO_TEXT(${text})PAGIMO_TEXT\";\n")
endforeach()
string(APPEND body "} // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.new" "${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
