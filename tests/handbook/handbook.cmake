# Handbook discovery, the handbook test of incoming files, the two pick lists and their
# registration with the main window.
varnel_add_test(handbook_tst_handbookfields
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_handbookfields.cpp LIBS varnel_handbook)
varnel_add_test(handbook_tst_discovery
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_discovery.cpp ${CMAKE_CURRENT_LIST_DIR}/HandbookTestSupport.h
  LIBS varnel_handbook varnel_handbook_generator)
varnel_add_test(handbook_tst_pickdialogs
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pickdialogs.cpp ${CMAKE_CURRENT_LIST_DIR}/HandbookTestSupport.h
  LIBS varnel_handbook varnel_handbook_generator)
varnel_add_test(handbook_tst_handbookparts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_handbookparts.cpp ${CMAKE_CURRENT_LIST_DIR}/HandbookTestSupport.h
  LIBS varnel_shell varnel_handbook_generator)
foreach(t handbook_tst_discovery handbook_tst_pickdialogs handbook_tst_handbookparts)
  target_compile_definitions(${t} PRIVATE VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endforeach()
