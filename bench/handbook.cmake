# Handbook pick list and discovery on a generated 100,000-instrument handbook, next to xmllint
# and cat on the same files.
if(TARGET varnel_handbook_window)
  varnel_add_bench(bench_handbook SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_handbook.cpp
                   LIBS varnel_handbook_window varnel_handbook_generator varnel_test_support)
  target_compile_definitions(bench_handbook PRIVATE VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
