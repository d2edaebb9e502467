# Inspects the Windows binaries of a build without running them (the 32-bit
# build cannot run here): what Dllscope.exe imports, what the bridge exports.
#   cmake -DOBJDUMP=... -DBIN=<program folder> -P inspect.cmake
function(dump file out)
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objdump failed on ${file}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The names imported from one DLL, from objdump's import tables.
function(imports_from text dll out)
    string(REGEX MATCH "DLL Name: ${dll}\n(.*)" section "${text}")
    string(REGEX REPLACE "\n[ \t]*DLL Name: .*" "" section "${section}")
    set(${out} "${section}" PARENT_SCOPE)
endfunction()

set(failures "")
dump(${BIN}/Dllscope.exe exe)
imports_from("${exe}" "KERNEL32.dll" kernel32)
foreach(name LoadLibraryA FreeLibrary CreateProcessA WaitForSingleObject CloseHandle)
    if(NOT kernel32 MATCHES "[ \t]${name}\n")
        string(APPEND failures "Dllscope.exe does not import ${name} from KERNEL32\n")
    endif()
endforeach()

file(GLOB binaries ${BIN}/*.exe ${BIN}/*.dll)
foreach(binary IN LISTS binaries)
    dump(${binary} text)
    foreach(runtime libstdc\\+\\+-6.dll libgcc_s_[a-z0-9_-]*.dll libwinpthread-1.dll)
        if(text MATCHES "DLL Name: ${runtime}")
            string(APPEND failures "${binary} needs ${runtime}: the runtimes must be linked statically\n")
        endif()
    endforeach()
endforeach()

dump(${BIN}/modbridge.dll bridge)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table(.*)" table "${bridge}")
foreach(name PluginName PluginDescription PluginBackvalue PluginRun WrapperName PluginWrappText
             PluginWrappForm WrapperStackNote)
    if(NOT table MATCHES "\\] ${name}\n")
        string(APPEND failures "modbridge.dll does not export ${name} under its bare name\n")
    endif()
endforeach()
if(table MATCHES "@[0-9]" OR table MATCHES "\\] _")
    string(APPEND failures "modbridge.dll exports decorated names:\n${table}\n")
endif()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
message(STATUS "inspected ${BIN}: imports, exports and runtimes as they should be")
