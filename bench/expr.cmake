pagimo_add_bench(bench_expr SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/expr.cpp LIBS pagimo_expr)
