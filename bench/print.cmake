# Printing a 100-page QRP file through a private CUPS queue (started by the benchmark itself).
pagimo_add_bench(bench_print
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/print.cpp ${PROJECT_SOURCE_DIR}/tests/printer/CupsFixture.cpp
  LIBS pagimo_printer pagimo_printing Qt6::Gui)
target_include_directories(bench_print PRIVATE ${PROJECT_SOURCE_DIR}/tests/printer)
target_compile_definitions(bench_print PRIVATE PAGIMO_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(bench_print qrptool)
