# The payload a Setup program accepts, fixed when it is built: each payload file's size and
# SHA-256, read at configure time and written as the table that upgrade/PayloadDigests.h declares.

# The payload table's source names, in its order (upgrade/PayloadRules.cpp).
set(SETUP_PAYLOAD_NAMES qdlg.dll QuilloRes.dll lexview.exe QuVoiceS.dll QuVoiceT.dll Zxlook.exe
    Aux001.dll Qutrans.dll QuilloSA.dll)

# Writes `content` to `file`, leaving the file (and its time) alone when it already holds it, so
# that configuring again rebuilds nothing that has not changed.
function(write_if_changed file content)
    file(WRITE "${file}.new" "${content}")
    file(COPY_FILE "${file}.new" "${file}" ONLY_IF_DIFFERENT)
    file(REMOVE "${file}.new")
endfunction()

# Writes to `source` the table of the nine payload files in `folder`, and to `list` the same
# digests in the format `sha256sum -c` checks. An empty `folder` writes a table that fixes
# nothing, and no list. A missing folder or file stops the configuration; a change to one of the
# files configures again.
function(write_payload_digests folder source list)
    set(header "// Written by the build (cmake/PayloadDigests.cmake): do not edit.\n")
    string(APPEND header "#include \"upgrade/PayloadDigests.h\"\n\n")
    if(folder STREQUAL "")
        if(NOT list STREQUAL "")
            file(REMOVE "${list}")
        endif()
        string(APPEND header "const bool kPayloadFixed = false;\n")
        write_if_changed("${source}" "${header}const PayloadDigest kPayloadDigests[9] = {};\n")
        return()
    endif()
    if(NOT IS_DIRECTORY "${folder}")
        message(FATAL_ERROR "The payload folder ${folder} does not exist.")
    endif()
    set(rows "")
    set(sums "")
    foreach(name IN LISTS SETUP_PAYLOAD_NAMES)
        set(path "${folder}/${name}")
        if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
            message(FATAL_ERROR "The payload file ${path} is missing.")
        endif()
        set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
            "${path}")
        file(SIZE "${path}" size)
        file(SHA256 "${path}" sha256)
        string(REGEX REPLACE "(..)" "0x\\1, " bytes "${sha256}")
        string(REGEX REPLACE ", $" "" bytes "${bytes}")
        string(APPEND rows "    {${size}ULL, {${bytes}}}, // ${name}\n")
        string(APPEND sums "${sha256}  ${name}\n")
    endforeach()
    string(APPEND header "const bool kPayloadFixed = true;\n")
    string(APPEND header "const PayloadDigest kPayloadDigests[9] = {\n${rows}};\n")
    write_if_changed("${source}" "${header}")
    write_if_changed("${list}" "${sums}")
endfunction()

# Writes the simulated product's nine payload files into `folder`: the bytes that
# product::PayloadContent gives each row (tools/product/Staging.cpp; its tests check that the
# two agree).
function(write_simulated_payload folder)
    file(MAKE_DIRECTORY "${folder}")
    set(row 1)
    foreach(name IN LISTS SETUP_PAYLOAD_NAMES)
        write_if_changed("${folder}/${name}" "Quillo 4.502 payload file ${row} \\${name}\r\n")
        math(EXPR row "${row} + 1")
    endforeach()
endfunction()
