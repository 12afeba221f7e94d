#pragma once

#include <functional>

class QWidget;

// Runs act on the next modal window once it shows (the modal call that opens it follows this
// one); *done turns true when it ran. For QTRY_VERIFY(done) after the modal call.
void onModal(std::function<void(QWidget *)> act, bool *done);
