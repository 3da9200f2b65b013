pagimo_add_bench(bench_pagestore SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pagestore.cpp
                 LIBS pagimo_pagestore pagimo_emf pagimo_system ZLIB::ZLIB)
target_include_directories(bench_pagestore PRIVATE ${PROJECT_SOURCE_DIR})
