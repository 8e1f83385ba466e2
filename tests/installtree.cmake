# Installs the build into an empty prefix and checks what a desktop gets: the menu entry
# starting the installed program, the icon in every size, the metainfo naming this version, and
# the validators' consent.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
set(data ${PREFIX}/${DATADIR})
set(desktop ${data}/applications/${APP_ID}.desktop)

file(STRINGS ${desktop} exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
file(STRINGS ${data}/metainfo/${APP_ID}.metainfo.xml releases REGEX "<release ")
list(GET releases 0 newest)
if(NOT EXISTS ${PREFIX}/${BINDIR}/${exec} OR NOT EXISTS ${data}/icons/hicolor/scalable/apps/${APP_ID}.svg
        OR NOT newest MATCHES "version=\"${VERSION}\"")
    message(FATAL_ERROR "missing program '${exec}' or icon, or newest release not ${VERSION}")
endif()
# The command-line tool goes beside the program, the licence where Debian looks for it.
foreach(file ${BINDIR}/ostrovel-cli ${DATADIR}/doc/ostrovel/copyright)
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "missing ${file}")
    endif()
endforeach()
foreach(size 48 64 128 256)
    # Width and height of the PNG, big-endian at offset 16.
    file(READ ${data}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png header HEX OFFSET 16 LIMIT 8)
    math(EXPR square "0x${header}")
    math(EXPR expected "${size} * 4294967296 + ${size}")
    if(NOT square EQUAL expected)
        message(FATAL_ERROR "the ${size} px icon has the header ${header}")
    endif()
endforeach()

# What fails: any output of desktop-file-validate (faults and hints); appstreamcli's errors,
# warnings and notes (E:, W:, I:) on the metainfo and its link to the menu entry.
set(missing)
foreach(check "desktop-file-validate;.;${desktop}" "appstreamcli;(^|\n) *[EWI]: ;validate-tree;--no-net;${PREFIX}")
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
