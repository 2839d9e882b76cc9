# The handbook viewer on handbooks of 100,000 and 200,000 instruments, the export of the
# 100,000-row page and the message viewer on a receipt of 10,000 deals, next to xsltproc and
# xmllint on the same files. It watches the browser engine's page, so it needs the engine.
find_package(Qt6 6.4 QUIET COMPONENTS WebEngineWidgets)
if(TARGET Qt6::WebEngineWidgets)
  varnel_add_bench(bench_viewer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_viewer.cpp
                   LIBS varnel_viewer_window varnel_handbook_generator varnel_test_support
                        Qt6::WebEngineWidgets)
  target_compile_definitions(bench_viewer PRIVATE
    VARNEL_PROGRAM_DIR="${VARNEL_PROGRAM_DIR}" VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
