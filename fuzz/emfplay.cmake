pagimo_add_fuzzer(fuzz_emfplay SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/EmfPlayFuzz.cpp LIBS pagimo_gdi Qt6::Gui)
target_compile_definitions(fuzz_emfplay PRIVATE PAGIMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
