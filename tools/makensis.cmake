# Makes the installer from both builds' modules (run by the "installer"
# target): the estimated size for Add or Remove Programs is the two modules'.
#   cmake -DX64_DLL=... -DX86_DLL=... -DOUTFILE=... -DSCRIPT=... -P makensis.cmake
foreach(dll ${X64_DLL} ${X86_DLL})
    if(NOT EXISTS ${dll})
        message(FATAL_ERROR "${dll} is not built (tools/package.sh builds both)")
    endif()
endforeach()
file(SIZE ${X64_DLL} size64)
file(SIZE ${X86_DLL} size32)
math(EXPR kb "(${size64} + ${size32} + 1023) / 1024")
execute_process(COMMAND makensis -V2 -DX64_DLL=${X64_DLL} -DX86_DLL=${X86_DLL} -DSIZE_KB=${kb}
                        -DOUTFILE=${OUTFILE} ${SCRIPT}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "makensis failed")
endif()
