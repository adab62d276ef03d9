# valumat-convert on the shipped data: results, standard input, errors and exit codes.
function(run expected_status expected_out)
    execute_process(COMMAND ${CONVERT} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                    INPUT_FILE ${INPUT})
    if(NOT status EQUAL expected_status OR NOT out STREQUAL expected_out)
        message(FATAL_ERROR "valumat-convert ${ARGN}\n status ${status} (expected ${expected_status})\n"
                            " out [${out}]\n expected [${expected_out}]\n err [${err}]")
    endif()
endfunction()

set(INPUT /dev/null)
run(0 "195,58\n" --dir ${DATA} --binding 0 -- 100)
run(0 "195,58\n24.145,89\n 1,96 \nEUR 5\n" --dir ${DATA} --binding 0 -- 100 12.345,60 " 1 " "EUR 5")
run(0 "-0,51\n" --dir ${DATA} --from "Deutsche Mark" --to Euro -- -1)
run(0 "DM 195,583\n" --dir ${DATA} --from Euro --to "Deutsche Mark" --decimals 3 --code-before "DM " 100)
run(0 "195.58 DEM\n" --dir ${DATA} --from Euro --to "Deutsche Mark" --separator . --code-after " DEM" 100)
run(0 "1.5\n" --dir ${DATA} --from Euro --to Nirgendwo 1,5)
run(2 "" --dir ${DATA} --binding 200 100)
run(2 "" --dir ${DATA} --binding x 100)
run(2 "" --dir ${DATA} --from Euro 100)
run(2 "" --dir ${DATA} --binding 0 --code-before a --code-after b 100)
run(2 "" --dir ${DATA}/nicht-da --binding 0 100)
run(2 "" --dir ${DATA} --bogus)

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cli_input.txt "100\r\n12.345,60\n\nabc\n200")
set(INPUT ${CMAKE_CURRENT_BINARY_DIR}/cli_input.txt)
run(0 "195,58\n24.145,89\n\nabc\n391,17\n" --dir ${DATA} --binding 0)

# A broken rate line: the amount's line is empty and the status is 1.
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/cli_broken)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cli_broken/waehrungen.dat "Euro; EUR ;EU; 1; 1; 1; 2\r\nKaputt; K ;X; 2\r\n")
set(INPUT /dev/null)
run(1 "\nabc\n" --dir ${CMAKE_CURRENT_BINARY_DIR}/cli_broken --from Euro --to Kaputt -- 1 abc)
execute_process(COMMAND ${CONVERT} --dir ${DATA} --list OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT out MATCHES "0\tSTRG \\+ D    Euro >> Deutsche Mark\n" OR NOT out MATCHES "Währungen:\n")
    message(FATAL_ERROR "--list:\n${out}")
endif()
