# The windows, the small Qt helpers they share, and the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets WebEngineWidgets)

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)
set(CMAKE_AUTORCC ON)

add_library(cy_windows STATIC
    Startup.cpp Startup.h
    U_Main.cpp U_Main.h U_Main.ui
    U_add.cpp U_add.h U_add.ui
    gui/ClickableLabel.cpp gui/ClickableLabel.h
    gui/DomainTableModel.cpp gui/DomainTableModel.h
    gui/ErrorBox.cpp gui/ErrorBox.h
    gui/Fonts.cpp gui/Fonts.h
    gui/GbkText.cpp gui/GbkText.h
    gui/PanelStatusBar.cpp gui/PanelStatusBar.h
    gui/ReportListView.cpp gui/ReportListView.h
    gui/resources.qrc
)
# The generated ui_*.h headers are part of the windows' headers.
target_include_directories(cy_windows PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_BINARY_DIR}/cy_windows_autogen/include)
target_compile_definitions(cy_windows PUBLIC CY_MAKER_HOST="${CY_MAKER_HOST}"
    QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS)
target_link_libraries(cy_windows PUBLIC table lookup Qt6::Widgets Qt6::WebEngineWidgets)
cy_warnings(cy_windows)

add_executable(chengyu-icp-query main.cpp)
target_link_libraries(chengyu-icp-query PRIVATE cy_windows)
cy_warnings(chengyu-icp-query)
install(TARGETS chengyu-icp-query RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
