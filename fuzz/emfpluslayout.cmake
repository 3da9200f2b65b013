pagimo_add_fuzzer(fuzz_emfpluslayout SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/EmfPlusLayoutFuzz.cpp LIBS pagimo_gdi Qt6::Gui)
target_compile_definitions(fuzz_emfpluslayout PRIVATE PAGIMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
