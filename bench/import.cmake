# Deals imported from a 10,000-row CSV file and workbook (time, peak memory) against
# xmllint --stream on the same deals as a report file, 100,000 rows into a window, and varnel-cli
# checking the same rows.
if(TARGET varnel_reports_window)
  varnel_add_bench(bench_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_import.cpp
                   LIBS varnel_reports_window varnel_test_support)
  if(TARGET varnel-cli)
    add_dependencies(bench_import varnel-cli)
    target_compile_definitions(bench_import PRIVATE CLI_PATH="$<TARGET_FILE:varnel-cli>")
  endif()
endif()
