# The author's toolbox: a report that prints its page total (two passes) against the same report
# without it, and 10,000 barcodes recorded into pages (time per barcode).
pagimo_add_bench(bench_toolbox SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/toolbox.cpp LIBS pagimo_engine Qt6::Gui)
