#include "sim/ConsoleScreen.h"

#include <algorithm>

namespace sim {

class ConsoleScreen::Buffer : public std::streambuf {
public:
    explicit Buffer(ConsoleScreen& screen) : screen_(screen) {}

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            screen_.put(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

private:
    ConsoleScreen& screen_;
};

ConsoleScreen::ConsoleScreen(int16_t width, int16_t height)
    : width_(std::max<int16_t>(width, 1)), height_(std::max<int16_t>(height, 1)),
      rows_(static_cast<size_t>(height_), std::string(static_cast<size_t>(width_), ' ')),
      buffer_(std::make_unique<Buffer>(*this)) {}

ConsoleScreen::~ConsoleScreen() = default;

std::streambuf* ConsoleScreen::stream() {
    return buffer_.get();
}

int16_t ConsoleScreen::cursorX() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return x_;
}

int16_t ConsoleScreen::cursorY() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return y_;
}

bool ConsoleScreen::setCursor(int16_t x, int16_t y) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return false;
    x_ = x;
    y_ = y;
    return true;
}

int64_t ConsoleScreen::fill(char c, uint32_t count, int16_t x, int16_t y) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return -1;
    int64_t written = 0;
    for (int64_t cell = int64_t{y} * width_ + x; written < count && cell < int64_t{width_} * height_;
         ++cell, ++written)
        rows_[static_cast<size_t>(cell / width_)][static_cast<size_t>(cell % width_)] = c;
    return written;
}

void ConsoleScreen::put(char c) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto newLine = [this] {
        x_ = 0;
        if (y_ + 1 < height_) {
            ++y_;
            return;
        }
        rows_.erase(rows_.begin());
        rows_.emplace_back(static_cast<size_t>(width_), ' ');
    };
    if (c == '\n') {
        newLine();
        return;
    }
    if (c == '\r') {
        x_ = 0;
        return;
    }
    rows_[static_cast<size_t>(y_)][static_cast<size_t>(x_)] = c;
    if (++x_ == width_)
        newLine();
}

std::vector<std::string> ConsoleScreen::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& row : rows_) {
        const auto end = row.find_last_not_of(' ');
        out.push_back(end == std::string::npos ? std::string() : row.substr(0, end + 1));
    }
    return out;
}

std::string ConsoleScreen::text() const {
    auto rows = lines();
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    std::string out;
    for (size_t i = 0; i < rows.size(); ++i)
        out += (i ? "\n" : "") + rows[i];
    return out;
}

namespace {

std::mutex g_bindingMutex;
console::Binding g_binding = console::Binding::Process;
std::shared_ptr<ConsoleScreen> g_screen;

} // namespace

ScopedConsole::ScopedConsole(std::shared_ptr<ConsoleScreen> screen) {
    std::lock_guard<std::mutex> lock(g_bindingMutex);
    previous_ = g_binding;
    previousScreen_ = g_screen;
    g_binding = screen ? console::Binding::Screen : console::Binding::NotConsole;
    g_screen = std::move(screen);
}

ScopedConsole::~ScopedConsole() {
    std::lock_guard<std::mutex> lock(g_bindingMutex);
    g_binding = previous_;
    g_screen = std::move(previousScreen_);
}

namespace console {

Binding CurrentBinding(std::shared_ptr<ConsoleScreen>* screen) {
    std::lock_guard<std::mutex> lock(g_bindingMutex);
    if (screen)
        *screen = g_screen;
    return g_binding;
}

} // namespace console

} // namespace sim
