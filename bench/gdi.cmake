pagimo_add_bench(bench_gdi SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gdi.cpp LIBS pagimo_pagestore pagimo_gdi pagimo_emf pagimo_system Qt6::Gui)
# The PDF comparison draws qrptool sample's pages.
target_compile_definitions(bench_gdi PRIVATE PAGIMO_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(bench_gdi qrptool)
