# Opened files: qrptool export (CSV, PDF) next to qrptool convert as whole processes, and the page
# checks of qrptool info next to plain page reading, on a 1,000-page file.
pagimo_add_bench(bench_opened
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/opened.cpp
  LIBS pagimo_tools pagimo_pagestore pagimo_emf pagimo_system)
target_compile_definitions(bench_opened PRIVATE QRPTOOL_PATH="$<TARGET_FILE:qrptool>")
add_dependencies(bench_opened qrptool)
