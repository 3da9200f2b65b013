pagimo_add_bench(bench_viewer SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/viewer.cpp LIBS pagimo_preview Qt6::Widgets)
