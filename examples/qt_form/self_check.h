// The example's scripted self-check: on a demo table in a temporary
// directory, it drives the window's buttons, grid and form editors as a
// user would (navigate, edit and post, insert, delete, cancel, a post
// refused for a required field left empty, another refused for a record
// another user holds locked) and reads every step back from the store
// through a query of its own. Prints one line per step; the window needs a
// QApplication.
#ifndef EXAMPLES_QT_FORM_SELF_CHECK_H_
#define EXAMPLES_QT_FORM_SELF_CHECK_H_

namespace qtform {

// 0 when every step read back as expected, 1 otherwise.
int RunSelfCheck();

}  // namespace qtform

#endif  // EXAMPLES_QT_FORM_SELF_CHECK_H_
