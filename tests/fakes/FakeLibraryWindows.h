#pragma once

#include "ui/LibraryWindow.h"

#include <memory>
#include <string>
#include <vector>

namespace drovane::fakes {

// A window that records what it is asked.
template <typename Base> class FakeWindow : public Base {
public:
    bool isVisible() const override { return visible; }
    bool isOccludedVisible() const override { return visible; }
    bool snapshot(const std::string& path) override {
        snapshots.push_back(path);
        return true;
    }

    bool visible = false;
    std::vector<std::string> snapshots;
};

// A library window that only records what it is asked; the test closes it or moves it.
class FakeLibraryWindow final : public FakeWindow<LibraryWindow> {
public:
    explicit FakeLibraryWindow(LibraryWindowContent c) : content(std::move(c)) {}

    Rect frame() const override { return m_frame; }
    void show() override { visible = true; }
    void setFrame(Rect frame) override { m_frame = frame; }
    void setContentSize(Size size) override { m_frame.size = size; }

    // What the user does.
    void close() {
        visible = false;
        if (onClosed) {
            onClosed();
        }
    }
    void move(Rect frame) {
        m_frame = frame;
        if (onFrameChanged) {
            onFrameChanged(frame);
        }
    }

    LibraryWindowContent content;

private:
    Rect m_frame{{0, 0}, {1100, 720}};
};

class FakeLibraryWindows final : public LibraryWindows {
public:
    std::shared_ptr<LibraryWindow> makeLibraryWindow(LibraryWindowContent content) override {
        made.push_back(std::make_shared<FakeLibraryWindow>(std::move(content)));
        return made.back();
    }
    std::vector<std::shared_ptr<FakeLibraryWindow>> made;
};

} // namespace drovane::fakes
