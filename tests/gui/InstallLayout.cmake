# Installs the build into a scratch prefix and checks the desktop integration: the program, its
# menu entry, its icon and its AppStream metainfo in the places a Linux desktop looks for them,
# all under the application id.
# Arguments: -DBUILD_DIR=... -DPREFIX=... -DBINDIR=... -DDATADIR=... (the GNUInstallDirs values)
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(program "${PREFIX}/${BINDIR}/chengyu-icp-query")
set(id io.github.chengyu.IcpQuery)
set(entry "${PREFIX}/${DATADIR}/applications/${id}.desktop")
set(icon "${PREFIX}/${DATADIR}/icons/hicolor/48x48/apps/${id}.png")
set(metainfo "${PREFIX}/${DATADIR}/metainfo/${id}.metainfo.xml")
foreach(f IN ITEMS "${program}" "${entry}" "${icon}" "${metainfo}")
    if(NOT EXISTS "${f}")
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()

# The entry names the program and the icon as installed, under the product's name.
file(STRINGS "${entry}" lines ENCODING UTF-8)
foreach(expected IN ITEMS "Type=Application" "Name=澄屿域名备案批量查询器V1.0"
        "Exec=chengyu-icp-query" "Icon=${id}")
    if(NOT expected IN_LIST lines)
        message(FATAL_ERROR "${entry} lacks the line '${expected}'")
    endif()
endforeach()

# The icon is a 48 x 48 PNG with an alpha channel (colour type 6, 8 bits: 32 bits a pixel).
file(READ "${icon}" header LIMIT 26 HEX)
string(SUBSTRING "${header}" 32 16 size)
string(SUBSTRING "${header}" 48 4 depth_and_type)
if(NOT size STREQUAL "0000003000000030" OR NOT depth_and_type STREQUAL "0806")
    message(FATAL_ERROR "icon is not 48 x 48 RGBA: ${header}")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${entry}" RESULT_VARIABLE valid)
    if(NOT valid EQUAL 0)
        message(FATAL_ERROR "desktop-file-validate rejects ${entry}")
    endif()
endif()

# The metainfo names the same id and the desktop entry; software centres reject what
# appstreamcli rejects.
file(READ "${metainfo}" text)
foreach(expected IN ITEMS "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>")
    string(FIND "${text}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${metainfo} lacks ${expected}")
    endif()
endforeach()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${metainfo}" RESULT_VARIABLE valid)
    if(NOT valid EQUAL 0)
        message(FATAL_ERROR "appstreamcli validate rejects ${metainfo}")
    endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
