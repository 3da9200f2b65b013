# The live preview's re-run of the example handbook (read, generate, hand the pages to the window)
# next to the bare generation, in the same run.
pagimo_add_bench(bench_live SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/live.cpp LIBS pagimo_shell SQLite::SQLite3)
