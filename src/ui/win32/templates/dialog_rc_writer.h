#pragma once
// Writes the resource-script text of one dialog's templates from its form:
// the frame (with the tab control) and, where the dialog has page
// templates, one child template per tab page. Control ids, texts, kinds and
// boxes come from the form alone; ranges, values and list entries are the
// view's to set when the dialog opens.
#include <ostream>

#include "ui/dialog_form.h"

namespace pelnik::platform::win32_dialogs {

// The script's head: UTF-8 input and the headers naming the styles.
void writeScriptHead(std::ostream &out);

// The templates of `form` (its kind and language choose their ids).
void writeTemplates(std::ostream &out, const DialogForm &form);

}  // namespace pelnik::platform::win32_dialogs
