# Deal reports: a 100,000-deal report of 25 columns (VARNEL_BENCH_DEALS sets another size) loaded,
# checked, saved, grown by one deal and opened in a window, against xmllint --stream on the same
# file.
if(TARGET varnel_reports)
  varnel_add_bench(bench_reports SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reports.cpp
                   LIBS varnel_reports varnel_test_support)
endif()
