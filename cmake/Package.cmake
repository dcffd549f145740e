# The Windows zip (`cmake --build build/i686 --target package`, which
# scripts/package.sh runs): the program, ipdbinit.exe, the help page, a short
# text on how to start, and an empty DataBase\ipdb.ipdb made by ipdbinit.exe
# itself (under the cross-compiling emulator, so a Wine session must run).
# Everything sits in one folder of the zip, IPTavixVer2, as users unpack it.
set(_iptavix_dir IPTavixVer2)
install(TARGETS IPTavixVer2 ipdbinit RUNTIME DESTINATION ${_iptavix_dir})
install(FILES ${CMAKE_BINARY_DIR}/bin/helpiptavix.html DESTINATION ${_iptavix_dir})

# The short text, with Windows line ends.
file(READ ${CMAKE_SOURCE_DIR}/resources/package/README.txt.in _iptavix_readme)
string(CONFIGURE "${_iptavix_readme}" _iptavix_readme @ONLY)
string(REPLACE "\n" "\r\n" _iptavix_readme "${_iptavix_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${_iptavix_readme}")
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION ${_iptavix_dir})

install(CODE "
    set(db \"\${CMAKE_INSTALL_PREFIX}/${_iptavix_dir}/DataBase/ipdb.ipdb\")
    file(MAKE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}/${_iptavix_dir}/DataBase\")
    file(REMOVE \"\${db}\")
    execute_process(COMMAND winepath -w \"\${db}\" OUTPUT_VARIABLE windows_path
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND \"${CMAKE_CROSSCOMPILING_EMULATOR}\" \"$<TARGET_FILE:ipdbinit>\" \"\${windows_path}\"
                    RESULT_VARIABLE result OUTPUT_QUIET)
    if(NOT result EQUAL 0 OR NOT EXISTS \"\${db}\")
        message(FATAL_ERROR \"ipdbinit could not create the empty database (\${result}).\")
    endif()
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "IPTavixVer2-${PROJECT_VERSION}-win32")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_NAME IPTavixVer2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
