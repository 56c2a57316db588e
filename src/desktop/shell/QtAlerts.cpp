#include "desktop/shell/QtAlerts.h"

#include "desktop/shell/QtBackedWindow.h"
#include "desktop/x11/X11Activation.h"
#include "platform/Window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <utility>

namespace drovane::desktop {

namespace {

constexpr int progressSteps = 1000;

// QMessageBox lays itself out afresh whenever a text changes; the bar goes in again each time,
// on a row of its own above the buttons.
void placeAccessory(QMessageBox& box, QProgressBar& bar) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    auto* buttons = box.findChild<QDialogButtonBox*>();
    if (!grid || !buttons) {
        return;
    }
    grid->removeWidget(&bar);
    const int index = grid->indexOf(buttons);
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(buttons);
    grid->addWidget(&bar, row, 2, 1, 1, Qt::AlignLeft);
    grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
}

class QtAlertHandle final : public AlertHandle {
public:
    QtAlertHandle(QMessageBox* box, QProgressBar* bar) : m_box(box), m_bar(bar) {}

    void setProgress(double fraction) override {
        if (m_bar) {
            m_bar->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * progressSteps + 0.5));
        }
    }
    void setInformativeText(const std::string& text) override {
        if (m_box) {
            m_box->setInformativeText(QString::fromStdString(text));
            if (m_bar) {
                placeAccessory(*m_box, *m_bar);
            }
        }
    }
    void close() override {
        if (m_box) {
            // Without a response: the completion is not called.
            QObject::disconnect(m_box, nullptr, nullptr, nullptr);
            m_box->hide();
            m_box->deleteLater();
        }
    }

private:
    QPointer<QMessageBox> m_box;
    QPointer<QProgressBar> m_bar;
};

QWindow* sheetParent(const Window* parent) {
    if (!parent || !parent->isVisible()) {
        return nullptr;
    }
    const auto* backed = dynamic_cast<const QtBackedWindow*>(parent);
    QWindow* window = backed ? backed->qtWindow() : nullptr;
    return window && window->isVisible() ? window : nullptr;
}

} // namespace

QtAlerts::QtAlerts(std::shared_ptr<QApplication> application) : m_application(std::move(application)) {}

QtAlerts::~QtAlerts() = default;

std::shared_ptr<AlertHandle> QtAlerts::show(const AlertContent& alert, const Window* parent,
                                            std::function<void(AlertResponse)> completion) {
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(QStringLiteral("Drovane"));
    box->setText(QString::fromStdString(alert.message));
    box->setInformativeText(QString::fromStdString(alert.informativeText));

    std::vector<QPushButton*> buttons;
    const std::vector<std::string> titles =
        alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
    for (const auto& title : titles) {
        // One role for all keeps them in the order given.
        buttons.push_back(box->addButton(QString::fromStdString(title), QMessageBox::ActionRole));
    }
    // Enter takes the first; Escape (and the window's close button) the one that declines:
    // "Cancel", else the last ("Not Now", "Later").
    box->setDefaultButton(buttons.front());
    const auto cancel = std::find(titles.begin(), titles.end(), "Cancel");
    const auto escape =
        cancel != titles.end() ? static_cast<std::size_t>(cancel - titles.begin()) : buttons.size() - 1;
    box->setEscapeButton(buttons[escape]);

    if (!alert.suppressionTitle.empty()) {
        box->setCheckBox(new QCheckBox(QString::fromStdString(alert.suppressionTitle)));
    }
    QProgressBar* bar = nullptr;
    if (alert.showsProgress) {
        bar = new QProgressBar(box);
        bar->setRange(0, progressSteps);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedSize(progressWidth, progressHeight);
        placeAccessory(*box, *bar);
    }

    // Answered once: by a button, or by the window's close button as by Escape (which Qt closes
    // without a click, and the completion would never come).
    auto respond = [box, buttons, answered = std::make_shared<bool>(false),
                    completion = std::move(completion)](QAbstractButton* clicked) {
        if (std::exchange(*answered, true)) {
            return;
        }
        AlertResponse response;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i] == clicked) {
                response.button = static_cast<int>(i);
            }
        }
        response.suppressed = box->checkBox() && box->checkBox()->isChecked();
        box->hide();
        box->deleteLater();
        if (completion) {
            // From the event loop, once the alert is gone.
            QTimer::singleShot(0, qApp, [completion, response] { completion(response); });
        }
    };
    QObject::connect(box, &QMessageBox::buttonClicked, box, respond);
    QObject::connect(box, &QDialog::finished, box, [respond, escape = buttons[escape]] { respond(escape); });

    if (QWindow* window = sheetParent(parent)) {
        box->setWindowModality(Qt::WindowModal);
        box->winId(); // the platform window, so that it can be given its parent
        box->windowHandle()->setTransientParent(window);
        box->show();
    } else {
        box->setWindowModality(Qt::ApplicationModal);
        box->show();
        box->raise();
        x11::activateWithFreshTime(*box->windowHandle());
    }
    return std::make_shared<QtAlertHandle>(box, bar);
}

} // namespace drovane::desktop
