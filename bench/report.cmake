# A 10,000-record grouped report over SQLite generated to QRP (plain and compressed) and to PDF, a
# sub-detail variant, peak memory at two sizes, and the same report drawn by ReportLab in the same run.
pagimo_add_bench(bench_report
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/report.cpp
  LIBS pagimo_engine pagimo_gdi SQLite::SQLite3 Qt6::Gui)
