pagimo_add_fuzzer(fuzz_jpeg SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jpeg.cpp LIBS pagimo_graphics)
