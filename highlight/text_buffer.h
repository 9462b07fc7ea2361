// A growable byte string for the formatter's output: it is written through a
// raw pointer without being zero-filled first, grows geometrically, and keeps
// room for a terminating NUL so its text can be handed out as C text.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace lumarix {

class TextBuffer {
  public:
    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }
    std::string_view View() const noexcept { return {data_.get(), size_}; }
    void Clear() noexcept { size_ = 0; }

    // Makes room for `size` bytes in all.
    void Reserve(std::size_t size) {
        if (size <= capacity_) return;
        const std::size_t grown = std::max(size, capacity_ + capacity_ / 2);
        auto fresh = std::make_unique_for_overwrite<char[]>(grown + 1);
        if (size_) std::memcpy(fresh.get(), data_.get(), size_);
        data_ = std::move(fresh);
        capacity_ = grown;
    }

    // Adds `count` bytes to the end and returns where to write them; the
    // writer may also scribble over up to `slack` bytes past them, which the
    // next write overwrites.
    char* Extend(std::size_t count, std::size_t slack = 0) {
        Reserve(size_ + count + slack);
        char* at = data_.get() + size_;
        size_ += count;
        return at;
    }

    void Append(std::string_view text) {
        if (!text.empty()) std::memcpy(Extend(text.size()), text.data(), text.size());
    }

    const char* CStr() noexcept {
        if (!data_) return "";
        data_[size_] = '\0';
        return data_.get();
    }

  private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // not counting the byte kept for the NUL
};

}  // namespace lumarix
