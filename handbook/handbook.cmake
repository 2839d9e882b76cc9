# Handbook discovery and the two pick lists (varnel_handbook), and the generator of handbook
# messages for the demo program folder, the tests and the benches.
add_library(varnel_handbook STATIC
  ${CMAKE_CURRENT_LIST_DIR}/HandbookDiscovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HandbookDiscovery.h
  ${CMAKE_CURRENT_LIST_DIR}/HandbookFields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HandbookFields.h
  ${CMAKE_CURRENT_LIST_DIR}/LargeAllocator.h
  ${CMAKE_CURRENT_LIST_DIR}/PickCollation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PickCollation.h
  ${CMAKE_CURRENT_LIST_DIR}/PickDefinition.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PickDefinition.h
  ${CMAKE_CURRENT_LIST_DIR}/PickDialogBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PickDialogBase.h
  ${CMAKE_CURRENT_LIST_DIR}/PickModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PickModel.h
  ${CMAKE_CURRENT_LIST_DIR}/dlgPick.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dlgPick.h
  ${CMAKE_CURRENT_LIST_DIR}/dlgPickXMLFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dlgPickXMLFile.h)
target_link_libraries(varnel_handbook PUBLIC varnel_core varnel_ui Qt6::Widgets)
varnel_client_library(varnel_handbook)
# The list's sort keys come straight from the collation library Qt's own collator uses, when it
# is there; otherwise from QCollator.
find_package(ICU COMPONENTS uc i18n QUIET)
if(ICU_FOUND)
  target_link_libraries(varnel_handbook PRIVATE ICU::uc ICU::i18n)
  target_compile_definitions(varnel_handbook PRIVATE VARNEL_HAVE_ICU)
endif()

add_library(varnel_handbook_generator STATIC
  ${CMAKE_SOURCE_DIR}/tools/HandbookGenerator.cpp
  ${CMAKE_SOURCE_DIR}/tools/HandbookGenerator.h)
target_include_directories(varnel_handbook_generator PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(varnel_handbook_generator PUBLIC Qt6::Core)

add_executable(make_handbook ${CMAKE_SOURCE_DIR}/tools/make_handbook.cpp)
set_target_properties(make_handbook PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(make_handbook PRIVATE varnel_handbook_generator)
