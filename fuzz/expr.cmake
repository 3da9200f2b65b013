pagimo_add_fuzzer(fuzz_expr SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/expr.cpp LIBS pagimo_expr)
