#include "desktop/ui/ProgressRingAccessible.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleValueInterface>
#include <QQuickItem>
#include <QQuickWindow>

namespace drovane::desktop {

namespace {

class ProgressRingAccessible final : public QAccessibleObject, public QAccessibleValueInterface {
public:
    explicit ProgressRingAccessible(QQuickItem* item) : QAccessibleObject(item) {}

    QAccessibleInterface* parent() const override {
        QQuickItem* parent = item()->parentItem();
        return parent ? QAccessible::queryAccessibleInterface(parent) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QWindow* window() const override { return item()->window(); }
    QAccessible::Role role() const override { return QAccessible::ProgressBar; }

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
        case QAccessible::Name:
            return item()->property("label").toString();
        case QAccessible::Value:
            return QStringLiteral("%1 %").arg(item()->property("value").toInt());
        default:
            return {};
        }
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !item()->isVisible() || qFuzzyIsNull(item()->opacity());
        state.readOnly = true;
        return state;
    }
    QRect rect() const override {
        if (!item()->window() || !item()->isVisible()) {
            return {};
        }
        const QPointF origin = item()->mapToScene({0, 0});
        return {item()->window()->mapToGlobal(origin.toPoint()), item()->size().toSize()};
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
    }
    QVariant currentValue() const override { return item()->property("value"); }
    void setCurrentValue(const QVariant&) override {} // shows progress, takes none
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    QQuickItem* item() const { return static_cast<QQuickItem*>(object()); }
};

QAccessibleInterface* progressRingFactory(const QString&, QObject* object) {
    auto* item = qobject_cast<QQuickItem*>(object);
    if (item && item->objectName() == QLatin1String("progressRing")) {
        return new ProgressRingAccessible(item);
    }
    return nullptr;
}

} // namespace

void installProgressRingAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(progressRingFactory);
        return true;
    }();
    (void)installed;
}

} // namespace drovane::desktop
