# Makes the sample's packages with jxpack and appends them to a copy of the program:
#   $CONFIG     the definition and the file metadata
#   $UNINSTALL  the product family (requirements.xml)
#   $SETUP      the program itself, for the maintenance copy, and the GUI module (GUI/gui.dll)
#   {id}        one package per component folder of the payload (the service program goes into
#               the first component)
# Inputs: JXPACK, PROGRAM, SERVICE, GUI, PRODUCT, WORK, OUTPUT.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/packages ${WORK}/setup/GUI)
file(COPY ${PRODUCT}/payload/ DESTINATION ${WORK}/payload)
file(COPY_FILE ${SERVICE} "${WORK}/payload/{5A3E9C21-0001-4000-8000-000000000001}/quillsync.exe")
file(COPY_FILE ${PROGRAM} ${WORK}/setup/JxSetup.exe)
file(COPY_FILE ${GUI} ${WORK}/setup/GUI/gui.dll)

function(jx_pack out folder root)
    execute_process(COMMAND ${JXPACK} make ${out} ${folder} --root ${root} --name ${root}
                    RESULT_VARIABLE result OUTPUT_QUIET)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "jxpack could not pack ${folder} (${result})")
    endif()
endfunction()

set(packages)
jx_pack(${WORK}/packages/config.wpk ${PRODUCT}/config "$CONFIG")
jx_pack(${WORK}/packages/uninstall.wpk ${PRODUCT}/uninstall "$UNINSTALL")
jx_pack(${WORK}/packages/setup.wpk ${WORK}/setup "$SETUP")
list(APPEND packages ${WORK}/packages/config.wpk ${WORK}/packages/uninstall.wpk ${WORK}/packages/setup.wpk)
file(GLOB components LIST_DIRECTORIES true RELATIVE ${WORK}/payload ${WORK}/payload/*)
list(SORT components)
set(n 0)
foreach(component IN LISTS components)
    math(EXPR n "${n} + 1")
    jx_pack(${WORK}/packages/component${n}.wpk ${WORK}/payload/${component} ${component})
    list(APPEND packages ${WORK}/packages/component${n}.wpk)
endforeach()

file(COPY_FILE ${PROGRAM} ${OUTPUT}.tmp)
execute_process(COMMAND ${JXPACK} append ${OUTPUT}.tmp ${packages} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "jxpack could not append the packages (${result})")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
