# The loopback registry: a 10,000-deal report answered with its receipt (and again, all
# duplicates; its revocation; 100 MB of junk), each next to xmllint on the same request.
if(TARGET varnel_loopback)
  varnel_add_bench(bench_loopback SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_loopback.cpp
                   LIBS Qt6::Core)
  add_dependencies(bench_loopback VarnelLoopback)
  target_compile_definitions(bench_loopback PRIVATE
    LOOPBACK_PATH="$<TARGET_FILE:VarnelLoopback>")
endif()
