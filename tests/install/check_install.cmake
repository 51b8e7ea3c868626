# Installs the build into a scratch prefix and checks that a Linux desktop
# finds the program, its menu entry and its icons there.
set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(f bin/quillow share/applications/quillow.desktop
          share/icons/hicolor/32x32/apps/quillow.png
          share/icons/hicolor/128x128/apps/quillow.png)
    if(NOT EXISTS "${prefix}/${f}")
        message(FATAL_ERROR "missing after install: ${f}")
    endif()
endforeach()
file(READ "${prefix}/share/applications/quillow.desktop" desktop)
foreach(line "Exec=quillow" "Icon=quillow" "Type=Application")
    string(FIND "${desktop}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "quillow.desktop lacks ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE "${prefix}")
