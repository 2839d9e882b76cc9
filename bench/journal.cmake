# The sending journal: a journal of 10,000 requests and 1,000,000 deals opened into its list,
# and a 10,000-deal receipt taken in, next to cat and xmllint --stream in the same run.
if(TARGET varnel_journal)
  varnel_add_bench(bench_journal SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_journal.cpp
                   LIBS varnel_journal)
endif()
