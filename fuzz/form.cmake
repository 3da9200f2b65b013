pagimo_add_fuzzer(fuzz_form SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FormFuzzer.cpp LIBS pagimo_engine)
