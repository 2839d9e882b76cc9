# Deal reports: a 100,000-deal report of 25 columns (VARNEL_BENCH_DEALS sets another size) loaded,
# checked, saved, grown by one deal, closed, opened in a window and scrolled, against xmllint
# --stream and cat on the same file.
if(TARGET varnel_reports_window)
  varnel_add_bench(bench_reports SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reports.cpp
                   LIBS varnel_reports_window varnel_test_support)
endif()
