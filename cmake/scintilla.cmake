# The editor component: Scintilla with its Win32 layer and, of Lexilla, only
# the HTML lexer and its support files, from Debian's source package "scite"
# (scripts/fetch-scintilla.sh puts it under build/third_party). Linked
# statically into both builds; its licence notice ships beside the program.
set(DLLSCOPE_SCITE_DIR ${PROJECT_SOURCE_DIR}/build/third_party/scite-5.3.3 CACHE PATH
    "The unpacked source package scite 5.3.3")
set(S ${DLLSCOPE_SCITE_DIR})
if(NOT EXISTS ${S}/scintilla/src/Editor.cxx)
    message(FATAL_ERROR "The editor component's source is missing: run scripts/fetch-scintilla.sh")
endif()
file(GLOB scintilla_core ${S}/scintilla/src/*.cxx)
file(GLOB lexilla_support ${S}/lexilla/lexlib/*.cxx)
add_library(scintilla STATIC ${scintilla_core} ${lexilla_support}
    ${S}/scintilla/win32/ScintillaWin.cxx ${S}/scintilla/win32/PlatWin.cxx ${S}/scintilla/win32/HanjaDic.cxx
    ${S}/lexilla/lexers/LexHTML.cxx)
target_include_directories(scintilla SYSTEM PUBLIC ${S}/scintilla/include ${S}/lexilla/include ${S}/lexilla/lexlib)
target_include_directories(scintilla PRIVATE ${S}/scintilla/src ${S}/scintilla/win32)
# GDI drawing only (no Direct2D), no <regex> (0.9 MB less).
target_compile_definitions(scintilla PUBLIC STATIC_BUILD PRIVATE NO_CXX11_REGEX DISABLE_D2D)
target_compile_options(scintilla PRIVATE -w)
target_link_libraries(scintilla PUBLIC imm32 msimg32 ole32 oleaut32 uuid gdi32 user32)
set(DLLSCOPE_SCINTILLA_LICENSE ${S}/scintilla/License.txt CACHE INTERNAL "the editor component's licence notice")
