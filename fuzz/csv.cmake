pagimo_add_fuzzer(fuzz_csv SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/csv.cpp LIBS pagimo_engine)
