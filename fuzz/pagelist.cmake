pagimo_add_fuzzer(fuzz_pagelist SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PageListFuzzer.cpp
                  LIBS pagimo_pagestore pagimo_emf pagimo_system)
