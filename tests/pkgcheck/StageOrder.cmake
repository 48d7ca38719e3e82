# Fails when a folder of pkgcheck includes a header of a later stage, so the
# stages keep pointing one way: each builds on those before it and knows
# nothing of those after it. The readers are one stage; none of them
# includes another. A new folder needs its place here, and in the README.
#
#   cmake -DPKGCHECK_DIR=<source>/pkgcheck -P StageOrder.cmake

set(stage_read 0)
set(stage_inf 1)
set(stage_pe 1)
set(stage_catalog 1)
set(stage_machines 1)
set(stage_package 2)
set(stage_check 3)
set(stage_report 4)
set(stage_cli 5)

file(GLOB_RECURSE sources RELATIVE ${PKGCHECK_DIR}
     ${PKGCHECK_DIR}/*.h ${PKGCHECK_DIR}/*.cpp ${PKGCHECK_DIR}/*.in)
set(faults "")
foreach(source IN LISTS sources)
    string(REGEX MATCH "^[^/]+" folder "${source}")
    if(folder STREQUAL source)
        continue()  # a file beside the folders
    endif()
    if(NOT DEFINED stage_${folder})
        string(APPEND faults "  ${folder}/ has no stage in StageOrder.cmake\n")
        continue()
    endif()
    file(STRINGS ${PKGCHECK_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"pkgcheck/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^.*\"pkgcheck/([^/\"]+)/.*$" "\\1" target "${line}")
        string(REGEX REPLACE "^.*\"(pkgcheck/[^\"]+)\".*$" "\\1" header "${line}")
        if(target STREQUAL folder)
            continue()
        endif()
        if(NOT DEFINED stage_${target})
            string(APPEND faults "  ${source} includes ${header}: ${target}/ has no stage\n")
        elseif(NOT stage_${target} LESS stage_${folder})
            string(APPEND faults "  ${source} includes ${header}, "
                   "but ${target}/ comes no earlier than ${folder}/\n")
        endif()
    endforeach()
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
    message(FATAL_ERROR "no sources under ${PKGCHECK_DIR}")
endif()
if(faults)
    message(FATAL_ERROR "pkgcheck's stages must point one way "
            "(read/ < inf/ pe/ catalog/ machines/ < package/ < check/ < report/ < cli/):\n"
            "${faults}")
endif()
message(STATUS "${count} files of pkgcheck include only earlier stages")
