pagimo_add_fuzzer(fuzz_dib SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dib.cpp LIBS pagimo_graphics)
