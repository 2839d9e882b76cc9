# Outgoing documents: a 10,000-deal report of 25 columns against a plain write of its bytes.
varnel_add_bench(bench_messages SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_messages.cpp
                 LIBS varnel_messages)
