// A growable byte string for the formatter's output: it is written through a
// raw pointer without being zero-filled first, grows geometrically, and keeps
// room for a terminating NUL so its text can be handed out as C text.
//
// Its storage comes from the C heap and grows with realloc. glibc moves a
// large block by remapping its pages and touches no room until it is written;
// the Windows heap under the shipped DLL commits all the room it hands out and
// grows a large block by copying it, holding the old and the new at once, so
// the formatter chooses how much room it asks for.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace lumarix {

// Sizes of text that would wrap in size_t cannot be had, like memory that has
// run out: both throw std::bad_alloc, and the message then passes unchanged.
inline std::size_t CheckedAdd(std::size_t a, std::size_t b) {
    if (b > SIZE_MAX - a) throw std::bad_alloc();
    return a + b;
}

// Resizes C-heap storage as realloc does (null `data` allocates), keeping its
// first bytes; throws std::bad_alloc and leaves `data` as it was on failure.
// Every allocation of a TextBuffer goes through here, so that tests can fail it.
char* ResizeTextStorage(char* data, std::size_t size);

class TextBuffer {
  public:
    TextBuffer() = default;
    // A buffer moved from is empty, with no capacity it does not have.
    TextBuffer(TextBuffer&& other) noexcept { *this = std::move(other); }
    TextBuffer& operator=(TextBuffer&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }

    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }
    std::string_view View() const noexcept { return {data_.get(), size_}; }
    void Clear() noexcept { size_ = 0; }

    // Makes room for `size` bytes in all, exactly.
    void Reserve(std::size_t size) {
        if (size > capacity_) Adopt(ResizeTextStorage(data_.get(), CheckedAdd(size, 1)), size);
    }

    // Adds `count` bytes to the end and returns where to write them; up to
    // `slack` bytes past them may be scribbled on, for the next write to cover.
    // Room grows by half at least, so that appends take linear time.
    char* Extend(std::size_t count, std::size_t slack = 0) {
        const std::size_t needed = CheckedAdd(CheckedAdd(size_, count), slack);
        if (needed > capacity_) Reserve(std::max(needed, GrownCapacity()));
        char* at = data_.get() + size_;
        size_ += count;
        return at;
    }

    void Append(std::string_view text) {
        if (!text.empty()) std::memcpy(Extend(text.size()), text.data(), text.size());
    }

    // Gives the storage past the text back. Shrinking needs no new memory,
    // so it is no allocation; should it fail, the storage stays as it is.
    void ShrinkToFit() noexcept {
        if (!data_ || capacity_ == size_) return;
        if (void* fitted = std::realloc(data_.get(), size_ + 1))
            Adopt(static_cast<char*>(fitted), size_);
    }

    const char* CStr() noexcept {
        if (!data_) return "";
        data_[size_] = '\0';
        return data_.get();
    }

  private:
    struct FreeStorage {
        void operator()(char* data) const noexcept { std::free(data); }
    };

    // Takes the storage realloc gave back; the old pointer was taken or freed by it.
    void Adopt(char* storage, std::size_t capacity) noexcept {
        (void)data_.release();
        data_.reset(storage);
        capacity_ = capacity;
    }

    std::size_t GrownCapacity() const noexcept {
        const std::size_t most = SIZE_MAX - 1;  // one byte stays for the NUL
        return capacity_ > most - capacity_ / 2 ? most : capacity_ + capacity_ / 2;
    }

    std::unique_ptr<char[], FreeStorage> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // not counting the byte kept for the NUL
};

}  // namespace lumarix
