# The reconciliation: a 100,000-deal CSV file against a journal of 1,000,000 deals (time, peak
# memory), next to reading the same file with the import's reader alone.
if(TARGET varnel_reconcile)
  varnel_add_bench(bench_reconcile SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reconcile.cpp
                   LIBS varnel_reconcile varnel_test_support)
endif()
