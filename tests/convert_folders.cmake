# valumat-convert without --dir: the data folder rule. Portable beside the program, else the user's folder
# ($XDG_CONFIG_HOME/valumat) filled from the installation's share/valumat on first use and kept afterwards; --list
# names the folder read.
set(work ${WORK}/convert_folders)
file(REMOVE_RECURSE ${work})
file(GLOB_RECURSE shipped RELATIVE ${DATA} ${DATA}/*)

function(convert out_var)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${work}/config ${ARGN}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}: status ${status}\n${out}\n${err}")
    endif()
    set(${out_var} "${out}" PARENT_SCOPE)
endfunction()
function(expect what actual expected)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${what}:\n [${actual}]\nexpected\n [${expected}]")
    endif()
endfunction()

# Portable: the program and the data side by side.
file(MAKE_DIRECTORY ${work}/portable)
file(COPY ${CONVERT} DESTINATION ${work}/portable)
file(COPY ${DATA}/ DESTINATION ${work}/portable)
convert(out ${work}/portable/valumat-convert --list)
string(REGEX MATCH "^[^\n]*" first "${out}")
expect("portable --list" "${first}" "Datenordner: ${work}/portable/")
convert(out ${work}/portable/valumat-convert --binding 0 -- 100)
expect("portable conversion" "${out}" "195,58\n")
if(EXISTS ${work}/config)
    message(FATAL_ERROR "portable use made the user's folder")
endif()

# Installed: bin/ and share/valumat/; the first use fills the user's folder.
file(MAKE_DIRECTORY ${work}/prefix/bin ${work}/prefix/share/valumat)
file(COPY ${CONVERT} DESTINATION ${work}/prefix/bin)
file(COPY ${DATA}/ DESTINATION ${work}/prefix/share/valumat)
convert(out ${work}/prefix/bin/valumat-convert --list)
string(REGEX MATCH "^[^\n]*" first "${out}")
expect("installed --list" "${first}" "Datenordner: ${work}/config/valumat/")
file(GLOB_RECURSE copied RELATIVE ${work}/config/valumat ${work}/config/valumat/*)
list(SORT shipped)
list(SORT copied)
expect("files in the user's folder" "${copied}" "${shipped}")
foreach(name IN LISTS shipped)
    file(READ ${DATA}/${name} a HEX)
    file(READ ${work}/config/valumat/${name} b HEX)
    expect("copy of ${name}" "${b}" "${a}")
endforeach()

# The user's own rates stay and are used.
file(WRITE ${work}/config/valumat/waehrungen.dat "Euro; EUR ;EU; 1; 1; 1; 2\r\nDeutsche Mark; DEM ;DE; 2; 0,5; 1; 2\r\n")
convert(out ${work}/prefix/bin/valumat-convert --binding 0 -- 100)
expect("the user's rates" "${out}" "200,00\n")

# --dir wins.
convert(out ${work}/prefix/bin/valumat-convert --dir ${DATA} --list)
string(REGEX MATCH "^[^\n]*" first "${out}")
expect("--dir --list" "${first}" "Datenordner: ${DATA}/")
file(REMOVE_RECURSE ${work})
