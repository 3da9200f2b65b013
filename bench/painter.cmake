# The page painter against the single-page path it replaced, and scrolling while a slow page is drawn
# on a worker.
pagimo_add_bench(bench_painter SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/painter.cpp LIBS pagimo_preview Qt6::Widgets)
