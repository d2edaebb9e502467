# The plugin header as authors compile it, with the 32-bit compilers (where
# __stdcall and __cdecl differ): it compiles as C89, C99, C++98 and C++17
# without a warning, and an export defined without WINAPI does not compile.
#   cmake -DCC=... -DCXX=... -DINCLUDE=<folder of the header> -DWORK=<folder> -P header.cmake
set(plugin [=[
#include "tagsmith_plugin.h"
TS_EXPORT short WINAPI TsBackvalue(void) { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName(void) { return "Name"; }
TS_EXPORT const char* WINAPI TsDescription(void) { return "Beschreibung"; }
TS_EXPORT BSTR WINAPI TsRun(const char* input) { return TsResult(input, 1); }
TS_PLUGIN_DLLMAIN
]=])
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/plugin.c "${plugin}")
string(REPLACE "BSTR WINAPI TsRun" "BSTR TsRun" cdecl "${plugin}")
file(WRITE ${WORK}/cdecl.c "${cdecl}")

set(failures "")
function(compile compiler language std file out)
    execute_process(COMMAND ${compiler} -x ${language} -std=${std} -pedantic-errors -Wall -Wextra
                            -Werror -fsyntax-only -I${INCLUDE} ${file}
                    RESULT_VARIABLE rc ERROR_VARIABLE errors)
    set(${out} ${rc} PARENT_SCOPE)
    set(errors "${errors}" PARENT_SCOPE)
endfunction()
foreach(std c89 c99)
    compile(${CC} c ${std} ${WORK}/plugin.c rc)
    if(NOT rc EQUAL 0)
        string(APPEND failures "the header does not compile as ${std}:\n${errors}\n")
    endif()
endforeach()
foreach(std c++98 c++17)
    compile(${CXX} c++ ${std} ${WORK}/plugin.c rc)
    if(NOT rc EQUAL 0)
        string(APPEND failures "the header does not compile as ${std}:\n${errors}\n")
    endif()
endforeach()
compile(${CC} c c99 ${WORK}/cdecl.c rc)
if(rc EQUAL 0)
    string(APPEND failures "TsRun defined without WINAPI compiles as C\n")
endif()
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
