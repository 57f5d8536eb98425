# The records window as a library of its own, until it joins the window
# library. Included from src/records/CMakeLists.txt.
find_package(Qt5 5.14 REQUIRED COMPONENTS Widgets)

add_library(movra_records_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/RecordsModels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordsModels.h
    ${CMAKE_CURRENT_LIST_DIR}/RecordsWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordsWindow.h
)
target_include_directories(movra_records_ui PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)
target_link_libraries(movra_records_ui PUBLIC movra_records Qt5::Widgets)
set_target_properties(movra_records_ui PROPERTIES AUTOUIC OFF)
movra_warnings(movra_records_ui)
