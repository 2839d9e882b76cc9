# Tests of the incoming message viewer, the handbook viewer and the spreadsheet export.
find_package(ZLIB REQUIRED)

varnel_add_test(viewer_tst_incomingmessage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_incomingmessage.cpp LIBS varnel_viewer)
varnel_add_test(viewer_tst_xsltransform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xsltransform.cpp LIBS varnel_viewer)
varnel_add_test(viewer_tst_spreadsheetexport
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_spreadsheetexport.cpp ${CMAKE_CURRENT_LIST_DIR}/XlsxReader.h
  LIBS varnel_viewer ZLIB::ZLIB LibXml2::LibXml2)
# The windows host the browser engine, which the sanitizer pass leaves out.
varnel_add_test(viewer_tst_viewerwindows
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_viewerwindows.cpp ${CMAKE_CURRENT_LIST_DIR}/XlsxReader.h
  LIBS varnel_viewer varnel_shell ZLIB::ZLIB LibXml2::LibXml2)
set_property(TEST viewer_tst_viewerwindows APPEND PROPERTY LABELS no_sanitizer)
set_property(TEST viewer_tst_viewerwindows APPEND PROPERTY ENVIRONMENT
  "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu")
foreach(t viewer_tst_incomingmessage viewer_tst_xsltransform viewer_tst_spreadsheetexport
          viewer_tst_viewerwindows)
  target_compile_definitions(${t} PRIVATE VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endforeach()
