# Deals imported from a 10,000-row CSV file and workbook (time, peak memory) against
# xmllint --stream on the same deals as a report file, and 100,000 rows into a window.
if(TARGET varnel_reports_window)
  varnel_add_bench(bench_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_import.cpp
                   LIBS varnel_reports_window varnel_test_support)
endif()
