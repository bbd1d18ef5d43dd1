# The windows, the small Qt helpers they share, and the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets WebEngineWidgets DBus)
find_package(JPEG REQUIRED)

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)

add_library(cy_windows STATIC
    Startup.cpp Startup.h
    U_Main.cpp U_Main.h U_Main.ui
    U_add.cpp U_add.h U_add.ui
    U_AboutBox.cpp U_AboutBox.h U_AboutBox.ui
    gui/BatchStatus.cpp gui/BatchStatus.h
    gui/ClickableLabel.cpp gui/ClickableLabel.h
    gui/DialogKeys.cpp gui/DialogKeys.h
    gui/DesktopProgress.cpp gui/DesktopProgress.h
    gui/DomainTableModel.cpp gui/DomainTableModel.h
    gui/ErrorBox.cpp gui/ErrorBox.h
    gui/Fonts.cpp gui/Fonts.h
    gui/GbkText.cpp gui/GbkText.h
    gui/JpegImage.cpp gui/JpegImage.h
    gui/PanelStatusBar.cpp gui/PanelStatusBar.h
    gui/ReportListView.cpp gui/ReportListView.h
    gui/ScreenPlacement.cpp gui/ScreenPlacement.h
    gui/BatchRunner.cpp gui/BatchRunner.h
    gui/FileDialog.cpp gui/FileDialog.h
    gui/ShellOpenLink.cpp gui/ShellOpenLink.h
)
# The generated ui_*.h headers are part of the windows' headers.
target_include_directories(cy_windows PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_BINARY_DIR}/cy_windows_autogen/include)
target_compile_definitions(cy_windows PUBLIC CY_MAKER_HOST="${CY_MAKER_HOST}"
    QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS)
target_link_libraries(cy_windows PUBLIC table lookup Qt6::Widgets Qt6::WebEngineWidgets
    PRIVATE JPEG::JPEG Qt6::DBus)
cy_warnings(cy_windows)

# The pictures, compiled in. qt_add_resources (not a .qrc under AUTORCC) because cy_windows is a
# static library: the linker would drop the unreferenced resource object, and every program and
# test linking the library would silently run without its pictures.
qt_add_resources(cy_windows "cy_icons" PREFIX "/icons" BASE gui/resources
    FILES gui/resources/app-icon.png)
qt_add_resources(cy_windows "cy_images" PREFIX "/images" BASE gui/resources
    FILES gui/resources/about-picture.jpg)

add_executable(chengyu-icp-query main.cpp)
target_link_libraries(chengyu-icp-query PRIVATE cy_windows)
cy_warnings(chengyu-icp-query)
install(TARGETS chengyu-icp-query RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
