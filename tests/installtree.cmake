# Installs the build into an empty prefix and checks what a desktop gets from it: the program,
# its menu entry, its icon in every theme size, its metainfo with the program's version, and
# that both validators accept the files. Run by CTest with BUILD_DIR, PREFIX, BINDIR, DATADIR,
# APP_ID and VERSION.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install failed")
endif()

set(data ${PREFIX}/${DATADIR})
set(desktop ${data}/applications/${APP_ID}.desktop)
set(metainfo ${data}/metainfo/${APP_ID}.metainfo.xml)
foreach(file ${PREFIX}/${BINDIR}/ostrovel ${desktop} ${metainfo}
        ${data}/icons/hicolor/scalable/apps/${APP_ID}.svg)
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
foreach(size 48 64 128 256)
    set(png ${data}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    if(NOT EXISTS ${png})
        message(FATAL_ERROR "not installed: ${png}")
    endif()
    # The width and height in the PNG header, both big-endian at offset 16.
    file(READ ${png} header HEX OFFSET 16 LIMIT 8)
    string(SUBSTRING ${header} 0 8 width)
    string(SUBSTRING ${header} 8 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(FATAL_ERROR "${png} is ${width}x${height}")
    endif()
endforeach()

file(STRINGS ${desktop} exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
if(NOT EXISTS ${PREFIX}/${BINDIR}/${exec})
    message(FATAL_ERROR "the menu entry starts '${exec}', which is not installed")
endif()
file(STRINGS ${metainfo} releases REGEX "<release ")
list(GET releases 0 newest)
if(NOT newest MATCHES "version=\"${VERSION}\"")
    message(FATAL_ERROR "the newest release in the metainfo is not ${VERSION}: ${newest}")
endif()

# Each validator with what it reports that fails the test: desktop-file-validate prints only
# faults and hints, appstreamcli marks errors, warnings and notes with E:, W: and I:.
set(missing)
foreach(check "desktop-file-validate;.;${desktop}" "appstreamcli;(^|\n)[EWI]: ;validate;--no-net;${metainfo}")
    list(POP_FRONT check tool faults)
    find_program(found_${tool} ${tool})
    if(NOT found_${tool})
        list(APPEND missing ${tool})
        continue()
    endif()
    execute_process(COMMAND ${found_${tool}} ${check} OUTPUT_VARIABLE output
        ERROR_VARIABLE output RESULT_VARIABLE failed)
    if(failed OR output MATCHES "${faults}")
        message(FATAL_ERROR "${tool} rejects the installed files:\n${output}")
    endif()
endforeach()
if(missing)
    message("SKIPPED: not installed: ${missing} (make deps installs them)")
endif()
