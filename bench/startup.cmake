# Start-up of the client to its first paint, next to a bare Qt window, each in a fresh process.
varnel_add_bench(bench_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp
                 LIBS varnel_shell varnel_test_support)
