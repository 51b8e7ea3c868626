# The Debian package: `bash scripts/package.sh` builds it with CPack's DEB
# generator; tests/package/check_package.cmake checks it as Debian would.

# Debian's hardening flags, which lintian looks for in the program. Fortify
# needs an optimised build (and warns, an error here, without one); the
# sanitizers bring checks of their own.
if(NOT QUILLOW_SANITIZE AND NOT QUILLOW_FUZZ)
    foreach(target quillow_core quillow)
        target_compile_definitions(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
        target_compile_options(${target} PRIVATE -fstack-protector-strong)
    endforeach()
    target_link_options(quillow PRIVATE -Wl,-z,relro,-z,now)
    set_target_properties(quillow PROPERTIES POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
endif()

# The manual page and the changelog go out compressed as Debian's tools do:
# gzip -9n keeps no name or time stamp, so every build gives the same bytes.
set(quillow_docs_dir ${CMAKE_BINARY_DIR}/docs)
set(quillow_gzipped)
foreach(pair "src/assets/quillow.1;quillow.1" "packaging/deb/changelog;changelog")
    list(GET pair 0 source)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${quillow_docs_dir}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${quillow_docs_dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${quillow_docs_dir}/${name}
        COMMAND gzip -9nf ${quillow_docs_dir}/${name}
        DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND quillow_gzipped ${quillow_docs_dir}/${name}.gz)
endforeach()
add_custom_target(quillow_docs ALL DEPENDS ${quillow_gzipped})
install(FILES ${quillow_docs_dir}/quillow.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/deb/copyright ${quillow_docs_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillow)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Quillow maintainers <maintainers@users.noreply.c-seed-2611a8ed.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small web browser with a popup blocker")
set(CPACK_PACKAGE_DESCRIPTION
"Quillow shows web pages in a window with an address box that remembers the
addresses loaded, Back, Forward, Refresh, Stop and Home, a favorites list and
a switch that decides whether pages may open new windows. Popups it refuses
are counted in the status bar.

It refuses the ads and trackers that EasyList and EasyPrivacy name (the lists of
webext-ublock-origin-chromium) and hides the page elements they name.

A search dialog sends words to a search engine, and an HTML window fetches the
HTML text of a page and shows it changed. Quillow is built on Qt WebEngine.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/quillow/quillow)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What linking does not show: the fonts the designed windows are drawn for
# and the public-suffix list that tells a site's own requests from third
# parties. (The engine library's shlibs already bring its helper process,
# libqt6webenginecore6-bin.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-dejavu-core, fonts-liberation2, publicsuffix")
# The filter lists; only suggested, as that package recommends Chromium.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS webext-ublock-origin-chromium)
# xdg-settings, which makes Quillow the desktop's default browser, and
# xdg-open, through which it hands other programs' addresses on.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/deb/postinst ${CMAKE_SOURCE_DIR}/packaging/deb/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
include(CPack)
