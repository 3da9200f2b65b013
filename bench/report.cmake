# A 10,000-record grouped report over SQLite generated to QRP (plain and compressed) and to PDF, a
# sub-detail variant, peak memory at two sizes, the same report drawn by ReportLab in the same run, and
# the report over PostgreSQL with the data sets' peak memory at 1,000 and 100,000 records.
pagimo_add_bench(bench_report
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/report.cpp ${PROJECT_SOURCE_DIR}/tests/engine/PostgresFixture.cpp
  LIBS pagimo_engine pagimo_gdi SQLite::SQLite3 Qt6::Gui)
target_include_directories(bench_report PRIVATE ${PROJECT_SOURCE_DIR}/tests/engine)
