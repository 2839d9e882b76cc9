# The incoming message viewer, the handbook viewer and the spreadsheet export (varnel_viewer),
# and the browser engine they show pages with, a plugin loaded on first use (varnel_htmlview).
find_package(PkgConfig REQUIRED)
pkg_check_modules(VARNEL_XSLT REQUIRED IMPORTED_TARGET libxslt libexslt)
pkg_check_modules(VARNEL_XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
find_package(Qt6 6.4 QUIET COMPONENTS WebEngineWidgets)

set(_viewer ${CMAKE_CURRENT_SOURCE_DIR})
add_library(varnel_viewer STATIC
  ${_viewer}/IncomingMessage.h ${_viewer}/IncomingMessage.cpp
  ${_viewer}/ViewerFiles.h ${_viewer}/ViewerFiles.cpp
  ${_viewer}/XslTransform.h ${_viewer}/XslTransform.cpp ${_viewer}/XmlTreePage.cpp
  ${_viewer}/SpreadsheetExport.h ${_viewer}/SpreadsheetExport.cpp
  ${_viewer}/PageView.h ${_viewer}/HtmlView.h ${_viewer}/HtmlView.cpp
  ${_viewer}/BrowserWindow.h ${_viewer}/BrowserWindow.cpp
  ${_viewer}/frmBrowseXML.h ${_viewer}/frmBrowseXML.cpp
  ${_viewer}/frmIssue.h ${_viewer}/frmIssue.cpp
  ${_viewer}/ViewerCommands.h ${_viewer}/ViewerCommands.cpp
  ${_viewer}/viewer.qrc)
target_link_libraries(varnel_viewer
  PUBLIC varnel_core varnel_ui Qt6::Widgets
  PRIVATE PkgConfig::VARNEL_XSLT PkgConfig::VARNEL_XLSXWRITER)
varnel_client_library(varnel_viewer)

if(TARGET Qt6::WebEngineWidgets)
  # The plugin lies in the program folder's "plugins"; the client never links the engine.
  add_library(varnel_htmlview MODULE ${_viewer}/plugin/HtmlViewPlugin.cpp ${_viewer}/PageView.h)
  set_target_properties(varnel_htmlview PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${VARNEL_PROGRAM_DIR}/plugins)
  target_include_directories(varnel_htmlview PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(varnel_htmlview PRIVATE Qt6::WebEngineWidgets)
  add_dependencies(varnel_viewer varnel_htmlview)
else()
  message(WARNING "Qt6 WebEngineWidgets not found: the viewers show pages in a plain text view")
endif()
