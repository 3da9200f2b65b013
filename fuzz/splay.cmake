pagimo_add_fuzzer(fuzz_splay SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SplayFuzzer.cpp LIBS pagimo_pagestore pagimo_system)
