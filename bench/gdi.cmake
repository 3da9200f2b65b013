pagimo_add_bench(bench_gdi SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gdi.cpp LIBS pagimo_pagestore pagimo_gdi pagimo_emf pagimo_system Qt6::Gui)
