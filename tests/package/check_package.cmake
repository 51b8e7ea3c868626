# Builds the Debian package from this build tree with CPack and checks it as
# Debian would: lintian finds no error, the unpacked files are where a
# desktop looks, the validators pass the entries, the maintainer scripts
# register the browser, and the unpacked program starts.
set(work "${BUILD_DIR}/package-check")
file(REMOVE_RECURSE "${work}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
        ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN}: ${result}\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

run("${CMAKE_COMMAND}" -E chdir "${BUILD_DIR}" cpack -G DEB -B "${work}")
run(dpkg --print-architecture)
string(STRIP "${out}" arch)
set(deb "${work}/quillow_${VERSION}_${arch}.deb")
if(NOT EXISTS "${deb}")
    file(GLOB made "${work}/*.deb")
    message(FATAL_ERROR "no ${deb}; CPack made: ${made}")
endif()

run(lintian --fail-on error --display-info "${deb}")
message(STATUS "lintian:\n${out}")

run(dpkg-deb --field "${deb}")
set(control "${out}")
foreach(field "Package: quillow" "Version: ${VERSION}" "Architecture: ${arch}" "Section: web"
        "Suggests: webext-ublock-origin-chromium" "Recommends: xdg-utils" "Homepage: https://")
    string(FIND "${control}" "${field}" at)
    if(at LESS 0)
        message(FATAL_ERROR "control lacks \"${field}\":\n${control}")
    endif()
endforeach()
# Computed from the linked libraries, and what linking does not show.
foreach(needed libqt6webenginecore6 libqt6webenginecore6-bin libc6 publicsuffix
        fonts-liberation2 fonts-dejavu-core)
    if(NOT control MATCHES "\nDepends:[^\n]*[ ,]${needed}[ ,(\n]")
        message(FATAL_ERROR "Depends lacks ${needed}:\n${control}")
    endif()
endforeach()

set(root "${work}/root")
run(dpkg-deb --control "${deb}" "${work}/control")
run(dpkg -x "${deb}" "${root}")
set(expected usr/bin/quillow usr/share/applications/quillow.desktop
    usr/share/metainfo/io.github.quillow.quillow.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/quillow.svg usr/share/man/man1/quillow.1.gz
    usr/share/doc/quillow/copyright usr/share/doc/quillow/changelog.gz)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/quillow.png)
endforeach()
foreach(f ${expected})
    if(NOT EXISTS "${root}/${f}")
        message(FATAL_ERROR "missing from the package: ${f}")
    endif()
endforeach()
# Nothing of the build's own (headers, static libraries) goes out.
file(GLOB_RECURSE shipped RELATIVE "${root}" "${root}/*")
list(SORT expected)
list(SORT shipped)
if(NOT shipped STREQUAL expected)
    message(FATAL_ERROR "the package holds other files than expected:\n${shipped}")
endif()

# The maintainer scripts, run on the unpacked tree: configuring registers
# the x-www-browser alternative with its manual page, removing withdraws
# both.
set(bin "${work}/bin")
file(WRITE "${bin}/update-alternatives" "#!/bin/sh\nexec /usr/bin/update-alternatives \
--root '${root}' --log '${work}/alternatives.log' \"$@\"\n")
file(CHMOD "${bin}/update-alternatives" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(MAKE_DIRECTORY "${root}/etc/alternatives" "${root}/var/lib/dpkg/alternatives")
run(env "PATH=${bin}:$ENV{PATH}" sh -e "${work}/control/postinst" configure)
foreach(pair "x-www-browser;/usr/bin/quillow" "x-www-browser.1.gz;/usr/share/man/man1/quillow.1.gz")
    list(GET pair 0 name)
    list(GET pair 1 target)
    file(READ_SYMLINK "${root}/etc/alternatives/${name}" seen)
    if(NOT seen STREQUAL target OR NOT EXISTS "${root}${target}")
        message(FATAL_ERROR "the alternative ${name} leads to \"${seen}\", not ${target}")
    endif()
endforeach()
run(env "PATH=${bin}:$ENV{PATH}" sh -e "${work}/control/prerm" remove)
if(IS_SYMLINK "${root}/etc/alternatives/x-www-browser.1.gz")
    message(FATAL_ERROR "removing the package leaves the x-www-browser alternative")
endif()

run(desktop-file-validate "${root}/usr/share/applications/quillow.desktop")
if(out MATCHES "(error|warning):")
    message(FATAL_ERROR "desktop-file-validate:\n${out}")
endif()
run(appstreamcli validate --no-net "${root}/usr/share/metainfo/io.github.quillow.quillow.metainfo.xml")

# The changelog, the software-centre entry and the manual page name the
# version shipped as their latest.
string(REPLACE "." "\\." version_re "${VERSION}")
run(gzip -dc "${root}/usr/share/doc/quillow/changelog.gz")
if(NOT out MATCHES "^quillow \\(${version_re}\\) ")
    message(FATAL_ERROR "the changelog's latest entry is not ${VERSION}:\n${out}")
endif()
file(READ "${root}/usr/share/metainfo/io.github.quillow.quillow.metainfo.xml" text)
if(NOT text MATCHES "<releases>[ \n]*<release version=\"${version_re}\"")
    message(FATAL_ERROR "the metainfo's latest release is not ${VERSION}:\n${text}")
endif()
run(gzip -dc "${root}/usr/share/man/man1/quillow.1.gz")
if(NOT out MATCHES "^\\.TH QUILLOW 1 \"[^\"]*\" \"Quillow ${version_re}\"")
    message(FATAL_ERROR "the manual page is not for Quillow ${VERSION}")
endif()
if(NOT out MATCHES "\\.B QTWEBENGINE_DISABLE_SANDBOX=1")
    message(FATAL_ERROR "the manual page does not say how Quillow runs as root")
endif()

run("${root}/usr/bin/quillow" --version)
if(NOT out STREQUAL "Quillow ${VERSION}\n")
    message(FATAL_ERROR "the packaged program's --version printed: ${out}")
endif()
file(REMOVE_RECURSE "${work}")
