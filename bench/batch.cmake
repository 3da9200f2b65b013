# Batches: 10,000 invoices burst into PDFs in one qrptool process against a loop of one process per
# invoice, peak memory at 1,000 and 10,000 outputs, and the Slurm job array script with 1 and 4 tasks on a
# private one-node cluster.
pagimo_add_bench(bench_batch SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/batch.cpp)
target_compile_definitions(bench_batch PRIVATE QRPTOOL_PATH="$<TARGET_FILE:qrptool>")
add_dependencies(bench_batch qrptool)
