pagimo_add_fuzzer(fuzz_emfplus SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/EmfPlusFuzz.cpp LIBS pagimo_gdi Qt6::Gui)
target_compile_definitions(fuzz_emfplus PRIVATE PAGIMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
