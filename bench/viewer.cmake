# A 20,000-instrument handbook through the handbook viewer and the spreadsheet export, next to
# xsltproc on the same files.
varnel_add_bench(bench_viewer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_viewer.cpp
                 LIBS varnel_viewer varnel_test_support)
target_compile_definitions(bench_viewer PRIVATE
  VARNEL_PROGRAM_DIR="${VARNEL_PROGRAM_DIR}" VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
