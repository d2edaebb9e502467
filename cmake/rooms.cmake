# The rooms of src/ and the rooms each may use: a file of a room includes
# headers of its own room and of these, nothing else of the program. The
# build refuses any other include (check_rooms.cmake).
set(DLLSCOPE_ROOMS
    "common:"
    "symbols:common"
    "sampling:common symbols"
    "guard:common sampling symbols"
    "plugin:common guard"
    "diagnosis:common"
    "host:common guard plugin sampling"
    "editor:common"
    "changes:common editor"
    "launcher:common"
    "result_viewer:common editor"
    "call_log:common plugin"
    "check:common changes diagnosis guard host plugin sampling"
    "checker:common check guard host plugin sampling symbols"
    "examine:common check host sampling"
    "main_window:common editor guard launcher plugin result_viewer"
    "app:call_log changes common editor examine guard host main_window plugin result_viewer sampling"
)
