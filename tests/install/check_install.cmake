# Installs the build into a scratch prefix and checks that a Linux desktop
# finds the program, its menu entry, its software-centre entry, its icons and
# its manual page there, and that the desktop's own validators pass the
# entries (warnings included).
set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected bin/quillow share/applications/quillow.desktop
    share/metainfo/io.github.quillow.quillow.metainfo.xml
    share/icons/hicolor/scalable/apps/quillow.svg share/man/man1/quillow.1.gz
    share/doc/quillow/copyright share/doc/quillow/changelog.gz)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/quillow.png)
endforeach()
foreach(f ${expected})
    if(NOT EXISTS "${prefix}/${f}")
        message(FATAL_ERROR "missing after install: ${f}")
    endif()
endforeach()

foreach(check
        "desktop-file-validate;${prefix}/share/applications/quillow.desktop"
        "appstreamcli;validate;--no-net;--strict;${prefix}/share/metainfo/io.github.quillow.quillow.metainfo.xml")
    execute_process(COMMAND ${check} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    # desktop-file-validate reports its complaints but exits 0 for hints.
    if(NOT result EQUAL 0 OR out MATCHES "(error|warning|hint):")
        message(FATAL_ERROR "${check}: ${result}\n${out}")
    endif()
endforeach()
file(REMOVE_RECURSE "${prefix}")
