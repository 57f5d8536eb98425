# Writes FormBinding.cpp: the test's own Ui::MovraTestToolClass, each
# pointer found in a live window by its object name, so tests reach the
# widgets the way the window's contract names them and not through the
# window's private members. Read from the .ui file itself, so a renamed or
# missing widget fails the tests instead of going unnoticed.
function(movra_generate_form_binding ui_file out_file)
    file(READ "${ui_file}" _ui)
    string(REGEX MATCHALL "<(widget|layout) class=\"[A-Za-z]+\" name=\"[A-Za-z_0-9]+\"" _items "${_ui}")
    string(REGEX MATCHALL "<action name=\"[A-Za-z_0-9]+\"" _actions "${_ui}")
    set(_body "")
    foreach(_item ${_items})
        string(REGEX REPLACE ".*class=\"([A-Za-z]+)\" name=\"([A-Za-z_0-9]+)\"" "\\1;\\2" _pair "${_item}")
        list(GET _pair 0 _class)
        list(GET _pair 1 _name)
        if(_class STREQUAL "QMainWindow")
            continue()
        endif()
        string(APPEND _body "    ui.${_name} = find<${_class}>(w, \"${_name}\");\n")
    endforeach()
    foreach(_item ${_actions})
        string(REGEX REPLACE ".*name=\"([A-Za-z_0-9]+)\"" "\\1" _name "${_item}")
        string(APPEND _body "    ui.${_name} = find<QAction>(w, \"${_name}\");\n")
    endforeach()
    file(WRITE "${out_file}.tmp"
"// Generated from the window's .ui file; do not edit.
#include \"Form.h\"

namespace movratest {
void bindForm(QMainWindow &w, Ui::MovraTestToolClass &ui)
{
${_body}}
} // namespace movratest
")
    configure_file("${out_file}.tmp" "${out_file}" COPYONLY)
endfunction()
