# The example handbook: generated to QRP (word wrapping and stretching across pages) and that QRP
# file converted to PDF by qrptool convert's code, pages per second, in the same run.
pagimo_add_bench(bench_handbook
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/handbook.cpp
  LIBS pagimo_tools pagimo_engine pagimo_controls pagimo_printer pagimo_gdi SQLite::SQLite3 Qt6::Gui)
