#pragma once

#include <QColor>
#include <QImage>
#include <functional>
#include <memory>
#include <string>

class QApplication;
class QWindow;

namespace drovane::desktop::testing {

// The test process's QApplication, made on first use and kept until the process ends.
std::shared_ptr<QApplication> testApplication();

// Runs the event loop until `condition` holds or `timeoutSeconds` pass; returns the condition.
bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds);
// Runs the event loop for `seconds`.
void spin(double seconds);
// Presses a key in `window` and lets it act. GUI tests run side by side on one display, where
// another test's window may take the activation (and with it every focused item): the window
// takes it back first and again after, so that what has the focus can be read.
void pressKey(QWindow& window, int key, int modifiers = 0);

// The average colour of a picture.
QColor meanColor(const QImage& image);

} // namespace drovane::desktop::testing
